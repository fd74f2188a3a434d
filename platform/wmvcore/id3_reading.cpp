// Maps ID3v2 frames, APE items and ID3v1 fields to the runtime's attribute
// names, and merges the tags as readers of them give them: the first plain
// comment, APE and then ID3v1 for what ID3v2 lacks, user texts that stand in
// for no standard frame.
#include "id3_reading.h"

#include "bare_taglib_file.h"
#include "play_length.h"
#include "text_conversion.h"

#include <taglib/tbytevectorstream.h>

#include <taglib/apetag.h>
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
#include <unordered_set>
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
// description as NUL-terminated UTF-16, then the data: what TagLib holds of
// it (a compressed frame's), or else the data left in the file.
MediaAttribute PictureValue(const TagLib::ID3v2::AttachedPictureFrame& frame, const StoredBytes& inFile)
{
    MediaAttribute attribute;
    attribute.name = u"WM/Picture";
    attribute.type = WMT_TYPE_BINARY;
    std::vector<BYTE>& value = attribute.value;
    value.push_back(static_cast<BYTE>(frame.type()));
    const TagLib::ByteVector data = frame.picture();
    const DWORD length = data.size() + inFile.length;
    value.insert(value.end(), reinterpret_cast<const BYTE*>(&length), reinterpret_cast<const BYTE*>(&length + 1));
    for (const TagLib::String& text : {frame.mimeType(), frame.description()}) {
        const std::vector<BYTE> bytes = StringValueOf(text);
        value.insert(value.end(), bytes.begin(), bytes.end());
    }
    value.insert(value.end(), data.begin(), data.end());
    attribute.inFile = inFile;
    return attribute;
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

// Where a listed attribute comes from, which decides whether it is kept.
enum class Source {
    Frame,            // a standard frame
    PlainComment,     // a comment frame without a description
    DescribedComment, // a comment frame with one
    UserText,         // a TXXX frame, named by its description
    Ape,              // an item of the APE tag
    Id3v1,            // a field of the ID3v1 tag
};

struct Listed {
    MediaAttribute attribute;
    Source source;
};

void List(std::vector<Listed>& listed, const char16_t* name, std::vector<BYTE> value, Source source,
          WMT_ATTR_DATATYPE type = WMT_TYPE_STRING)
{
    MediaAttribute attribute;
    attribute.name = name;
    attribute.type = type;
    attribute.value = std::move(value);
    listed.push_back({std::move(attribute), source});
}

// The data of the tag's pictures left in the file, handed out in the order
// of the picture frames.
class PictureData {
public:
    explicit PictureData(const std::vector<StoredBytes>& pictures) : pictures(pictures) {}
    StoredBytes Next() { return next < pictures.size() ? pictures[next++] : StoredBytes{}; }

private:
    const std::vector<StoredBytes>& pictures;
    size_t next = 0;
};

void ListFrame(std::vector<Listed>& listed, const FrameRow& row, const TagLib::ID3v2::Frame* frame,
               PictureData& pictures)
{
    using namespace TagLib::ID3v2;
    const auto* text = dynamic_cast<const TextIdentificationFrame*>(frame);
    switch (row.value) {
    case FrameValue::Text:
        if (text)
            List(listed, row.attributeName, StringValue(JoinFields(text->fieldList())), Source::Frame);
        break;
    case FrameValue::Year:
        if (text)
            List(listed, row.attributeName, StringValue(YearOf(JoinFields(text->fieldList()))), Source::Frame);
        break;
    case FrameValue::Genre:
        if (text)
            List(listed, row.attributeName, StringValue(ResolveGenres(text->fieldList())), Source::Frame);
        break;
    case FrameValue::Comment:
        if (const auto* comment = dynamic_cast<const CommentsFrame*>(frame); comment && !IsMachineComment(*comment))
            List(listed, row.attributeName, StringValueOf(comment->text()),
                 comment->description().isEmpty() ? Source::PlainComment : Source::DescribedComment);
        break;
    case FrameValue::Lyrics:
        if (const auto* lyrics = dynamic_cast<const UnsynchronizedLyricsFrame*>(frame))
            List(listed, row.attributeName, StringValueOf(lyrics->text()), Source::Frame);
        break;
    case FrameValue::Picture:
        if (const auto* picture = dynamic_cast<const AttachedPictureFrame*>(frame))
            listed.push_back({PictureValue(*picture, pictures.Next()), Source::Frame});
        break;
    case FrameValue::UserText:
        if (const auto* user = dynamic_cast<const UserTextIdentificationFrame*>(frame)) {
            std::u16string name = Utf16FromTagLib(user->description());
            if (!name.empty()) {
                List(listed, u"", StringValue(JoinFields(UserTextFields(*user))), Source::UserText);
                listed.back().attribute.name = std::move(name);
            }
        }
        break;
    }
}

void ReadId3v2(const TagLib::ID3v2::Tag& tag, const std::vector<StoredBytes>& pictureData,
               std::vector<Listed>& listed)
{
    PictureData pictures(pictureData);
    for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
        const TagLib::ByteVector id = frame->frameID();
        for (const FrameRow& row : frameTable) {
            if (id.size() == 4 && std::memcmp(id.data(), row.frameId, 4) == 0) {
                ListFrame(listed, row, frame, pictures);
                break;
            }
        }
    }
}

// The kept APE items in file order, one attribute a key; several values of
// an item are joined as ID3v2's are.
void ReadApe(const ApeTag& ape, std::vector<Listed>& listed)
{
    if (ape.rebuilt.empty())
        return;
    TagLib::ByteVectorStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(ape.rebuilt.data()),
                                                       static_cast<unsigned int>(ape.rebuilt.size())));
    BareTagLibFile file(&stream);
    const TagLib::APE::Tag tag(&file, static_cast<long>(ape.rebuilt.size() - 32));
    const TagLib::APE::ItemListMap& items = tag.itemListMap();
    for (const ApeRow* row : ape.rows) {
        const auto found = items.find(row->key);
        if (found == items.end() || found->second.type() != TagLib::APE::Item::Text)
            continue;
        const std::u16string text = JoinFields(found->second.values());
        List(listed, row->attributeName, StringValue(row->year ? YearOf(text) : text), Source::Ape);
    }
}

// TagLib's ID3v1 tag over the 128 bytes that the probe read.
class Id3v1Bytes : public TagLib::ID3v1::Tag {
public:
    explicit Id3v1Bytes(const std::vector<BYTE>& bytes)
    {
        parse(TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
    }
};

void ReadId3v1(const TagLib::ID3v1::Tag& tag, std::vector<Listed>& listed)
{
    auto listText = [&](const char16_t* name, const TagLib::String& value) {
        if (!value.stripWhiteSpace().isEmpty())
            List(listed, name, StringValueOf(value.stripWhiteSpace()), Source::Id3v1);
    };
    auto listNumber = [&](const char16_t* name, unsigned int value) {
        if (value != 0)
            List(listed, name, StringValueOf(TagLib::String::number(static_cast<int>(value))), Source::Id3v1);
    };
    listText(u"Title", tag.title());
    listText(u"Author", tag.artist());
    listText(u"WM/AlbumTitle", tag.album());
    listNumber(u"WM/Year", tag.year());
    listText(u"Description", tag.comment());
    listText(u"WM/Genre", tag.genre());
    listNumber(u"WM/TrackNumber", tag.track());
}

// A name with its ASCII letters in upper case, as names are compared by
// those who read them.
std::u16string Folded(const std::u16string& name)
{
    std::u16string folded = name;
    for (char16_t& unit : folded)
        if (unit >= u'a' && unit <= u'z')
            unit = static_cast<char16_t>(unit - u'a' + u'A');
    return folded;
}

bool HasText(const MediaAttribute& attribute)
{
    return attribute.type == WMT_TYPE_STRING && attribute.value.size() >= 2 &&
           (attribute.value[0] != 0 || attribute.value[1] != 0);
}

// Keeps what a reader of the tags gives: every standard frame; of the
// comments, the first without a description, or else the first with one;
// an APE item whose name no standard frame gives a text; an ID3v1 field
// whose name neither gives; a TXXX frame whose name none of them gives, and
// never as the comment (no reader shows a user text there). The ID3v2
// frames come in file order, then the APE items, then the ID3v1 fields.
bool Merge(std::vector<Listed>& listed, AttributeList& attributes)
{
    const Listed* comment = nullptr;
    for (const Source wanted : {Source::PlainComment, Source::DescribedComment})
        for (const Listed& entry : listed)
            if (!comment && entry.source == wanted)
                comment = &entry;

    std::unordered_set<std::u16string> given;
    for (const Listed& entry : listed)
        if ((entry.source == Source::Frame || &entry == comment) && HasText(entry.attribute))
            given.insert(Folded(entry.attribute.name));
    std::vector<bool> kept(listed.size());
    for (const Source ranked : {Source::Ape, Source::Id3v1})
        for (size_t i = 0; i < listed.size(); ++i)
            if (listed[i].source == ranked && (kept[i] = !given.count(Folded(listed[i].attribute.name))))
                given.insert(Folded(listed[i].attribute.name));
    const std::u16string commentName = Folded(u"Description");
    for (size_t i = 0; i < listed.size(); ++i) {
        const Source source = listed[i].source;
        const std::u16string name = Folded(listed[i].attribute.name);
        if (source == Source::Frame || &listed[i] == comment)
            kept[i] = true;
        else if (source == Source::UserText)
            kept[i] = !given.count(name) && name != commentName;
    }

    attributes.Reserve(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        MediaAttribute& attribute = listed[i].attribute;
        // A name too long for a 16-bit length is left out: the runtime could
        // not report it. More attributes than it can count do not pass the
        // limits; should they come, the file is refused, not cut.
        if (!kept[i] || attribute.name.size() + 1 > 0xFFFF)
            continue;
        if (!attributes.Add(std::move(attribute)))
            return false;
    }
    return true;
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

HRESULT ReadMpegAttributes(const MediaFile& file, const MpegProbe& probe, AttributeList& attributes)
{
    if (!AddMpegDuration(file, probe, attributes))
        return NS_E_INVALID_INPUT_FORMAT;
    std::vector<Listed> listed;
    const std::vector<BYTE>& id3v2 = probe.id3v2.rebuilt;
    if (!id3v2.empty()) {
        // TagLib reads the tag as the probe rebuilt it, from memory: nothing
        // of the file that the probe did not check reaches it.
        TagLib::ByteVectorStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(id3v2.data()),
                                                           static_cast<unsigned int>(id3v2.size())));
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isValid())
            return NS_E_INVALID_INPUT_FORMAT;
        if (file.hasID3v2Tag())
            ReadId3v2(*file.ID3v2Tag(), probe.id3v2.pictures, listed);
    }
    ReadApe(probe.ape, listed);
    if (!probe.id3v1.empty())
        ReadId3v1(Id3v1Bytes(probe.id3v1), listed);
    return Merge(listed, attributes) ? S_OK : NS_E_INVALID_INPUT_FORMAT;
}

}  // namespace platform
