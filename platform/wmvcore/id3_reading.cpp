// Maps ID3v2 frames and ID3v1 fields to the runtime's attribute names.
#include "id3_reading.h"

#include "text_conversion.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// How a frame's content becomes the attribute's value.
enum class FrameValue { Text, Year, Genre, Comment, Lyrics, Picture, UserText };

struct FrameRow {
    const char* frameId;
    const char16_t* attributeName;  // null: the frame's own description
    FrameValue value;
};

const FrameRow frameTable[] = {
    {"TIT2", u"Title", FrameValue::Text},
    {"TPE1", u"Author", FrameValue::Text},
    {"COMM", u"Description", FrameValue::Comment},
    {"TCOP", u"Copyright", FrameValue::Text},
    {"TALB", u"WM/AlbumTitle", FrameValue::Text},
    {"TYER", u"WM/Year", FrameValue::Year},
    {"TDRC", u"WM/Year", FrameValue::Year},
    {"TCON", u"WM/Genre", FrameValue::Genre},
    {"USLT", u"WM/Lyrics", FrameValue::Lyrics},
    {"TPUB", u"WM/Publisher", FrameValue::Text},
    {"TCOM", u"WM/Composer", FrameValue::Text},
    {"TPE2", u"WM/AlbumArtist", FrameValue::Text},
    {"TRCK", u"WM/TrackNumber", FrameValue::Text},
    {"TPOS", u"WM/PartOfSet", FrameValue::Text},
    {"TEXT", u"WM/Writer", FrameValue::Text},
    {"TENC", u"WM/EncodedBy", FrameValue::Text},
    {"TBPM", u"WM/BeatsPerMinute", FrameValue::Text},
    {"TKEY", u"WM/InitialKey", FrameValue::Text},
    {"TLAN", u"WM/Language", FrameValue::Text},
    {"TSRC", u"WM/ISRC", FrameValue::Text},
    {"APIC", u"WM/Picture", FrameValue::Picture},
    {"TXXX", nullptr, FrameValue::UserText},
};

const char16_t valueSeparator[] = u"; ";

std::u16string Join(const std::vector<std::u16string>& parts)
{
    std::u16string joined;
    for (const std::u16string& part : parts) {
        if (!joined.empty())
            joined += valueSeparator;
        joined += part;
    }
    return joined;
}

std::u16string JoinFields(const TagLib::StringList& fields)
{
    std::vector<std::u16string> parts;
    for (const TagLib::String& field : fields)
        parts.push_back(Utf16FromTagLib(field));
    return Join(parts);
}

bool AllDigits(const std::u16string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit >= u'0' && unit <= u'9'; });
}

// iTunes keeps machine data (volume normalisation, gapless playback) in
// comment frames whose descriptions begin with "iTun"; they are not text
// for people.
bool IsMachineComment(const TagLib::ID3v2::CommentsFrame& comment)
{
    return comment.description().startsWith("iTun");
}

// One genre reference: a number, "RX", "CR", or a name.
std::u16string GenreName(const std::u16string& reference)
{
    if (reference == u"RX")
        return u"Remix";
    if (reference == u"CR")
        return u"Cover";
    if (AllDigits(reference) && reference.size() <= 3) {
        int number = 0;
        for (char16_t unit : reference)
            number = number * 10 + (unit - u'0');
        std::u16string name = Utf16FromTagLib(TagLib::ID3v1::genre(number));
        if (!name.empty())
            return name;
    }
    return reference;
}

void AddOnce(std::vector<std::u16string>& names, const std::u16string& name)
{
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

// The ASF form of a picture: type, 32-bit data length, MIME type and
// description as NUL-terminated UTF-16, then the data.
std::vector<BYTE> PictureValue(const TagLib::ID3v2::AttachedPictureFrame& frame)
{
    std::vector<BYTE> value;
    value.push_back(static_cast<BYTE>(frame.type()));
    const TagLib::ByteVector data = frame.picture();
    const DWORD length = data.size();
    value.insert(value.end(), reinterpret_cast<const BYTE*>(&length), reinterpret_cast<const BYTE*>(&length + 1));
    for (const TagLib::String& text : {frame.mimeType(), frame.description()}) {
        const std::vector<BYTE> bytes = StringValue(Utf16FromTagLib(text));
        value.insert(value.end(), bytes.begin(), bytes.end());
    }
    value.insert(value.end(), data.begin(), data.end());
    return value;
}

// The text fields of a TXXX frame without its description, which TagLib
// lists first.
TagLib::StringList UserTextFields(const TagLib::ID3v2::UserTextIdentificationFrame& frame)
{
    TagLib::StringList fields = frame.fieldList();
    if (!fields.isEmpty())
        fields.erase(fields.begin());
    return fields;
}

void AddFrame(AttributeList& attributes, const FrameRow& row, const TagLib::ID3v2::Frame* frame)
{
    using namespace TagLib::ID3v2;
    const auto* text = dynamic_cast<const TextIdentificationFrame*>(frame);
    switch (row.value) {
    case FrameValue::Text:
        if (text)
            attributes.AddString(row.attributeName, JoinFields(text->fieldList()));
        break;
    case FrameValue::Year:
        if (text)
            attributes.AddString(row.attributeName, YearOf(JoinFields(text->fieldList())));
        break;
    case FrameValue::Genre:
        if (text)
            attributes.AddString(row.attributeName, ResolveGenres(text->fieldList()));
        break;
    case FrameValue::Comment:
        if (const auto* comment = dynamic_cast<const CommentsFrame*>(frame); comment && !IsMachineComment(*comment))
            attributes.AddString(row.attributeName, Utf16FromTagLib(comment->text()));
        break;
    case FrameValue::Lyrics:
        if (const auto* lyrics = dynamic_cast<const UnsynchronizedLyricsFrame*>(frame))
            attributes.AddString(row.attributeName, Utf16FromTagLib(lyrics->text()));
        break;
    case FrameValue::Picture:
        if (const auto* picture = dynamic_cast<const AttachedPictureFrame*>(frame)) {
            MediaAttribute attribute;
            attribute.name = row.attributeName;
            attribute.type = WMT_TYPE_BINARY;
            attribute.value = PictureValue(*picture);
            attributes.Add(std::move(attribute));
        }
        break;
    case FrameValue::UserText:
        if (const auto* user = dynamic_cast<const UserTextIdentificationFrame*>(frame)) {
            std::u16string name = Utf16FromTagLib(user->description());
            if (!name.empty())
                attributes.AddString(std::move(name), JoinFields(UserTextFields(*user)));
        }
        break;
    }
}

void ReadId3v2(const TagLib::ID3v2::Tag& tag, AttributeList& attributes)
{
    for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
        const TagLib::ByteVector id = frame->frameID();
        for (const FrameRow& row : frameTable) {
            if (id.size() == 4 && std::memcmp(id.data(), row.frameId, 4) == 0) {
                AddFrame(attributes, row, frame);
                break;
            }
        }
    }
}

void ReadId3v1(const TagLib::ID3v1::Tag& tag, AttributeList& attributes)
{
    auto addText = [&](const char16_t* name, const TagLib::String& value) {
        if (!value.stripWhiteSpace().isEmpty())
            attributes.AddString(name, Utf16FromTagLib(value.stripWhiteSpace()));
    };
    auto addNumber = [&](const char16_t* name, unsigned int value) {
        if (value != 0)
            attributes.AddString(name, Utf16FromTagLib(TagLib::String::number(static_cast<int>(value))));
    };
    addText(u"Title", tag.title());
    addText(u"Author", tag.artist());
    addText(u"WM/AlbumTitle", tag.album());
    addNumber(u"WM/Year", tag.year());
    addText(u"Description", tag.comment());
    addText(u"WM/Genre", tag.genre());
    addNumber(u"WM/TrackNumber", tag.track());
}

}  // namespace

std::u16string ResolveGenres(const TagLib::StringList& fields)
{
    std::vector<std::u16string> names;
    for (const TagLib::String& field : fields) {
        std::u16string text = Utf16FromTagLib(field.stripWhiteSpace());
        // ID3v2.3 references: "(17)", "(17)(6)", "(4)Eurodisco"; "((" starts
        // a name that begins with "(".
        while (text.size() > 1 && text[0] == u'(' && text[1] != u'(') {
            const size_t close = text.find(u')');
            if (close == std::u16string::npos)
                break;
            AddOnce(names, GenreName(text.substr(1, close - 1)));
            text.erase(0, close + 1);
        }
        if (text.size() > 1 && text[0] == u'(' && text[1] == u'(')
            text.erase(0, 1);
        AddOnce(names, GenreName(text));
    }
    return Join(names);
}

std::u16string YearOf(const std::u16string& text)
{
    const bool leadingYear = text.size() > 4 && AllDigits(text.substr(0, 4)) && (text[4] == u'-' || text[4] == u'T');
    return leadingYear ? text.substr(0, 4) : text;
}

HRESULT ReadMpegAttributes(const std::string& path, AttributeList& attributes)
{
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid())
        return NS_E_INVALID_INPUT_FORMAT;
    if (file.hasID3v2Tag())
        ReadId3v2(*file.ID3v2Tag(), attributes);
    else if (file.hasID3v1Tag())
        ReadId3v1(*file.ID3v1Tag(), attributes);
    return S_OK;
}

}  // namespace platform
