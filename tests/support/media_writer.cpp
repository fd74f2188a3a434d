// Byte-level writers for ASF and MP3 test files.
#include "support/media_writer.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace trellan::test {
namespace {

// ---- little helpers ----

void PutWord(Bytes& out, WORD value)
{
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
}

void PutDword(Bytes& out, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((value >> (8 * i)) & 0xFF);
}

void PutQword(Bytes& out, QWORD value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back((value >> (8 * i)) & 0xFF);
}

void PutGuid(Bytes& out, const GUID& guid)
{
    PutDword(out, guid.Data1);
    PutWord(out, guid.Data2);
    PutWord(out, guid.Data3);
    out.insert(out.end(), guid.Data4, guid.Data4 + 8);
}

void PutBytes(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

Bytes Utf16LeWithNul(const std::u16string& text)
{
    Bytes out;
    for (char16_t unit : text)
        PutWord(out, unit);
    PutWord(out, 0);
    return out;
}

Bytes Utf16BeWithoutNul(const std::u16string& text)
{
    Bytes out;
    for (char16_t unit : text) {
        out.push_back(unit >> 8);
        out.push_back(unit & 0xFF);
    }
    return out;
}

std::string Utf8Of(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// ---- ASF objects ----

const GUID asfHeader = {0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const GUID asfFileProperties = {0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfStreamProperties = {0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfContentDescription = {0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const GUID asfExtendedContentDescription = {
    0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
const GUID asfHeaderExtension = {0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfReserved1 = {0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfMetadata = {0xC5F8CBEA, 0x5BAF, 0x4877, {0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA}};
const GUID asfMetadataLibrary = {0x44231C94, 0x9498, 0x49D1, {0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54}};
const GUID asfData = {0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const GUID asfAudioMedia = {0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
const GUID asfVideoMedia = {0xBC19EFC0, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
const GUID asfNoErrorCorrection = {0x20FB5700, 0x5B55, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
const GUID fileId = {0x3A2B1C0D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

Bytes AsfObject(const GUID& id, const Bytes& body)
{
    Bytes out;
    PutGuid(out, id);
    PutQword(out, 24 + body.size());
    PutBytes(out, body);
    return out;
}

Bytes FileProperties(const AsfContent& content)
{
    Bytes body;
    PutGuid(body, fileId);
    PutQword(body, 0);         // file size: not known to the writer
    PutQword(body, 0);         // creation date
    PutQword(body, 0);         // data packets
    PutQword(body, content.playDuration);
    PutQword(body, content.playDuration);  // send duration
    PutQword(body, content.preroll);
    PutDword(body, 2);         // flags: seekable
    PutDword(body, 3200);      // minimum data packet size
    PutDword(body, 3200);      // maximum data packet size
    PutDword(body, 128000);    // maximum bit rate
    return AsfObject(asfFileProperties, body);
}

Bytes StreamProperties(bool video)
{
    Bytes typeData;
    if (video) {
        PutDword(typeData, 16);  // encoded width
        PutDword(typeData, 16);  // encoded height
        typeData.push_back(2);   // reserved
        PutWord(typeData, 40);   // format data size: a BITMAPINFOHEADER
        PutDword(typeData, 40);
        PutDword(typeData, 16);
        PutDword(typeData, 16);
        PutWord(typeData, 1);
        PutWord(typeData, 24);
        PutDword(typeData, 0x33564D57);  // "WMV3"
        PutDword(typeData, 16 * 16 * 3);
        PutDword(typeData, 0);
        PutDword(typeData, 0);
        PutDword(typeData, 0);
        PutDword(typeData, 0);
    } else {
        PutWord(typeData, 0x0161);  // WAVEFORMATEX: Windows Media Audio
        PutWord(typeData, 2);
        PutDword(typeData, 44100);
        PutDword(typeData, 16000);
        PutWord(typeData, 2973);
        PutWord(typeData, 16);
        PutWord(typeData, 0);
    }
    Bytes body;
    PutGuid(body, video ? asfVideoMedia : asfAudioMedia);
    PutGuid(body, asfNoErrorCorrection);
    PutQword(body, 0);  // time offset
    PutDword(body, static_cast<DWORD>(typeData.size()));
    PutDword(body, 0);  // error correction data length
    PutWord(body, 1);   // flags: stream number 1
    PutDword(body, 0);  // reserved
    PutBytes(body, typeData);
    return AsfObject(asfStreamProperties, body);
}

Bytes ContentDescription(const AsfContent& content)
{
    const std::u16string* fields[] = {&content.title, &content.author, &content.copyright, &content.description,
                                      &content.rating};
    Bytes body;
    for (const std::u16string* field : fields)
        PutWord(body, static_cast<WORD>(field->empty() ? 0 : (field->size() + 1) * 2));
    for (const std::u16string* field : fields)
        if (!field->empty())
            PutBytes(body, Utf16LeWithNul(*field));
    return AsfObject(asfContentDescription, body);
}

Bytes ExtendedContentDescription(const std::vector<AsfAttribute>& attributes)
{
    Bytes body;
    PutWord(body, static_cast<WORD>(attributes.size()));
    for (const AsfAttribute& attribute : attributes) {
        const Bytes name = Utf16LeWithNul(attribute.name);
        PutWord(body, static_cast<WORD>(name.size()));
        PutBytes(body, name);
        PutWord(body, attribute.type);
        PutWord(body, static_cast<WORD>(attribute.value.size()));
        PutBytes(body, attribute.value);
    }
    return AsfObject(asfExtendedContentDescription, body);
}

// The Metadata and Metadata Library objects share their record layout; the
// Metadata object's language field is reserved.
Bytes MetadataRecords(const GUID& id, const std::vector<AsfAttribute>& attributes, bool withLanguage)
{
    Bytes body;
    PutWord(body, static_cast<WORD>(attributes.size()));
    for (const AsfAttribute& attribute : attributes) {
        const Bytes name = Utf16LeWithNul(attribute.name);
        PutWord(body, withLanguage ? attribute.language : 0);
        PutWord(body, attribute.stream);
        PutWord(body, static_cast<WORD>(name.size()));
        PutWord(body, attribute.type);
        PutDword(body, static_cast<DWORD>(attribute.value.size()));
        PutBytes(body, name);
        PutBytes(body, attribute.value);
    }
    return AsfObject(id, body);
}

Bytes HeaderExtension(const AsfContent& content)
{
    Bytes data;
    if (!content.metadata.empty())
        PutBytes(data, MetadataRecords(asfMetadata, content.metadata, false));
    if (!content.library.empty())
        PutBytes(data, MetadataRecords(asfMetadataLibrary, content.library, true));
    Bytes body;
    PutGuid(body, asfReserved1);
    PutWord(body, 6);
    PutDword(body, static_cast<DWORD>(data.size()));
    PutBytes(body, data);
    return AsfObject(asfHeaderExtension, body);
}

Bytes DataObject()
{
    Bytes body;
    PutGuid(body, fileId);
    PutQword(body, 0);     // packets
    PutWord(body, 0x0101);  // reserved
    return AsfObject(asfData, body);
}

// ---- ID3 ----

Bytes EncodedText(const std::u16string& text, Id3Encoding encoding, bool terminated)
{
    Bytes out;
    switch (encoding) {
    case Id3Encoding::latin1:
        for (char16_t unit : text)
            out.push_back(unit <= 0xFF ? BYTE(unit) : BYTE('?'));
        if (terminated)
            out.push_back(0);
        break;
    case Id3Encoding::utf16:
        out = {0xFF, 0xFE};  // byte-order mark: little-endian
        for (char16_t unit : text)
            PutWord(out, unit);
        if (terminated)
            PutWord(out, 0);
        break;
    case Id3Encoding::utf16be:
        out = Utf16BeWithoutNul(text);
        if (terminated)
            PutWord(out, 0);
        break;
    case Id3Encoding::utf8: {
        const std::string utf8 = Utf8Of(text);
        out.assign(utf8.begin(), utf8.end());
        if (terminated)
            out.push_back(0);
        break;
    }
    }
    return out;
}

Bytes SyncSafe(DWORD value)
{
    return {BYTE((value >> 21) & 0x7F), BYTE((value >> 14) & 0x7F), BYTE((value >> 7) & 0x7F), BYTE(value & 0x7F)};
}

Bytes BigEndian32(DWORD value)
{
    return {BYTE(value >> 24), BYTE(value >> 16), BYTE(value >> 8), BYTE(value)};
}

void PutLatin1Field(Bytes& out, const std::string& text, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        out.push_back(i < text.size() ? BYTE(text[i]) : 0);
}

}  // namespace

AsfAttribute AsfString(const std::u16string& name, const std::u16string& value, WORD stream)
{
    return {name, asfString, Utf16LeWithNul(value), stream, 0};
}

AsfAttribute AsfDword(const std::u16string& name, DWORD value, WORD stream)
{
    Bytes bytes;
    PutDword(bytes, value);
    return {name, asfDword, bytes, stream, 0};
}

AsfAttribute AsfQword(const std::u16string& name, QWORD value, WORD stream)
{
    Bytes bytes;
    PutQword(bytes, value);
    return {name, asfQword, bytes, stream, 0};
}

AsfAttribute AsfWord(const std::u16string& name, WORD value, WORD stream)
{
    Bytes bytes;
    PutWord(bytes, value);
    return {name, asfWord, bytes, stream, 0};
}

AsfAttribute AsfBool(const std::u16string& name, bool value, bool wide, WORD stream)
{
    Bytes bytes;
    if (wide)
        PutDword(bytes, value ? 1 : 0);
    else
        PutWord(bytes, value ? 1 : 0);
    return {name, asfBool, bytes, stream, 0};
}

AsfAttribute AsfBinary(const std::u16string& name, const Bytes& value, WORD stream)
{
    return {name, asfBinary, value, stream, 0};
}

AsfAttribute AsfGuid(const std::u16string& name, const GUID& value, WORD stream)
{
    Bytes bytes;
    PutGuid(bytes, value);
    return {name, asfGuid, bytes, stream, 0};
}

Bytes BuildAsf(const AsfContent& content)
{
    std::vector<Bytes> children = {FileProperties(content), StreamProperties(content.video)};
    if (content.contentDescription)
        children.push_back(ContentDescription(content));
    if (!content.extended.empty())
        children.push_back(ExtendedContentDescription(content.extended));
    children.push_back(HeaderExtension(content));

    Bytes body;
    PutDword(body, static_cast<DWORD>(children.size()));
    body.push_back(1);  // reserved
    body.push_back(2);  // reserved
    for (const Bytes& child : children)
        PutBytes(body, child);
    return Concatenate({AsfObject(asfHeader, body), DataObject()});
}

Id3Frame Id3Text(const std::string& id, const std::u16string& text, Id3Encoding encoding)
{
    Bytes body = {BYTE(encoding)};
    PutBytes(body, EncodedText(text, encoding, false));
    return {id, body};
}

Id3Frame Id3Comment(const std::u16string& description, const std::u16string& text, Id3Encoding encoding)
{
    Bytes body = {BYTE(encoding), 'e', 'n', 'g'};
    PutBytes(body, EncodedText(description, encoding, true));
    PutBytes(body, EncodedText(text, encoding, false));
    return {"COMM", body};
}

Id3Frame Id3Lyrics(const std::u16string& text, Id3Encoding encoding)
{
    Id3Frame frame = Id3Comment(u"", text, encoding);
    frame.id = "USLT";
    return frame;
}

Id3Frame Id3UserText(const std::u16string& description, const std::u16string& text, Id3Encoding encoding)
{
    Bytes body = {BYTE(encoding)};
    PutBytes(body, EncodedText(description, encoding, true));
    PutBytes(body, EncodedText(text, encoding, false));
    return {"TXXX", body};
}

Id3Frame Id3Picture(const std::string& mimeType, BYTE pictureType, const std::u16string& description,
                    const Bytes& data)
{
    Bytes body = {BYTE(Id3Encoding::latin1)};
    body.insert(body.end(), mimeType.begin(), mimeType.end());
    body.push_back(0);
    body.push_back(pictureType);
    PutBytes(body, EncodedText(description, Id3Encoding::latin1, true));
    PutBytes(body, data);
    return {"APIC", body};
}

Id3Frame Id3TextWithoutMark(const std::string& id, const std::u16string& text)
{
    Bytes body = {BYTE(Id3Encoding::utf16)};
    for (char16_t unit : text)
        PutWord(body, unit);
    return {id, body};
}

Bytes BuildId3v2(int majorVersion, const std::vector<Id3Frame>& frames, size_t padding, bool unsynchronised)
{
    Id3Layout layout;
    layout.padding = padding;
    layout.unsynchronised = unsynchronised;
    return BuildId3v2(majorVersion, frames, layout);
}

Bytes BuildId3v2(int majorVersion, const std::vector<Id3Frame>& frames, const Id3Layout& layout)
{
    Bytes body;
    if (layout.extendedHeader) {
        // Its size leaves itself out: flags and padding size, and the CRC.
        PutBytes(body, BigEndian32(layout.crc ? 10 : 6));
        body.insert(body.end(), {BYTE(layout.crc ? 0x80 : 0), 0});
        PutBytes(body, BigEndian32(static_cast<DWORD>(layout.padding)));
        if (layout.crc)
            PutBytes(body, BigEndian32(0x1234ABCD));
    }
    for (const Id3Frame& frame : frames) {
        body.insert(body.end(), frame.id.begin(), frame.id.end());
        const DWORD size = static_cast<DWORD>(frame.body.size());
        if (majorVersion == 2) {
            const Bytes bytes = BigEndian32(size);
            body.insert(body.end(), bytes.begin() + 1, bytes.end());  // 24 bits, no flags
        } else {
            PutBytes(body, majorVersion >= 4 && !layout.plainSizes ? SyncSafe(size) : BigEndian32(size));
            body.push_back(BYTE(frame.flags >> 8));
            body.push_back(BYTE(frame.flags));
        }
        PutBytes(body, frame.body);
    }
    body.resize(body.size() + layout.padding, 0);
    const bool unsynchronised = layout.unsynchronised;
    if (unsynchronised) {
        Bytes plain;
        plain.swap(body);
        for (BYTE byte : plain) {
            body.push_back(byte);
            if (byte == 0xFF)
                body.push_back(0);
        }
    }

    Bytes tag = {'I', 'D', '3', BYTE(majorVersion), 0,
                 BYTE((unsynchronised ? 0x80 : 0) | (layout.extendedHeader ? 0x40 : 0))};
    PutBytes(tag, SyncSafe(static_cast<DWORD>(body.size())));
    PutBytes(tag, body);
    return tag;
}

ApeItem ApeText(const std::string& key, const std::string& utf8)
{
    return {key, Bytes(utf8.begin(), utf8.end()), 0};
}

Bytes BuildApe(const std::vector<ApeItem>& items)
{
    Bytes body;
    for (const ApeItem& item : items) {
        PutDword(body, static_cast<DWORD>(item.value.size()));
        PutDword(body, item.flags);
        body.insert(body.end(), item.key.begin(), item.key.end());
        body.push_back(0);
        PutBytes(body, item.value);
    }
    auto frame = [&](bool header) {
        Bytes out = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
        PutDword(out, 2000);
        PutDword(out, static_cast<DWORD>(body.size() + 32));  // the items and the footer
        PutDword(out, static_cast<DWORD>(items.size()));
        PutDword(out, 0x80000000u | (header ? 0x20000000u : 0));  // has a header; this is it
        out.resize(out.size() + 8, 0);
        return out;
    };
    return Concatenate({frame(true), body, frame(false)});
}

Bytes BuildLyrics3(const std::string& lyrics)
{
    const std::string content = "LYRICSBEGININD00002" "10" "LYR" + std::string(5 - std::to_string(lyrics.size()).size(), '0') +
                                std::to_string(lyrics.size()) + lyrics;
    std::string size = std::to_string(content.size());
    const std::string tag = content + std::string(6 - size.size(), '0') + size + "LYRICS200";
    return Bytes(tag.begin(), tag.end());
}

Bytes BuildId3v1(const Id3v1Fields& fields)
{
    Bytes tag = {'T', 'A', 'G'};
    PutLatin1Field(tag, fields.title, 30);
    PutLatin1Field(tag, fields.artist, 30);
    PutLatin1Field(tag, fields.album, 30);
    PutLatin1Field(tag, fields.year, 4);
    if (fields.track > 0) {
        PutLatin1Field(tag, fields.comment, 28);
        tag.push_back(0);
        tag.push_back(BYTE(fields.track));
    } else {
        PutLatin1Field(tag, fields.comment, 30);
    }
    tag.push_back(BYTE(fields.genre));
    return tag;
}

Bytes SilentMpegFrames(int count)
{
    Bytes frames;
    for (int i = 0; i < count; ++i) {
        Bytes frame(96, 0);
        frame[0] = 0xFF;
        frame[1] = 0xFB;  // MPEG-1, layer III, no CRC
        frame[2] = 0x14;  // 32 kbit/s, 48 kHz, no padding
        frame[3] = 0xC0;  // mono
        PutBytes(frames, frame);
    }
    return frames;
}

Bytes XingMpegFrame(DWORD frames, DWORD bytes)
{
    Bytes frame = SilentMpegFrames(1);
    const size_t at = 4 + 17;  // after the header and a mono MPEG-1 frame's side information
    const BYTE xing[16] = {'X', 'i', 'n', 'g', 0, 0, 0, 3,  // flags: frames and bytes follow
                           BYTE(frames >> 24), BYTE(frames >> 16), BYTE(frames >> 8), BYTE(frames),
                           BYTE(bytes >> 24),  BYTE(bytes >> 16),  BYTE(bytes >> 8),  BYTE(bytes)};
    std::copy(std::begin(xing), std::end(xing), frame.begin() + at);
    return frame;
}

Bytes Concatenate(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        PutBytes(out, part);
    return out;
}

TempDir::TempDir()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("trellan-media-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const
{
    const std::string file = PathOf(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file);
    return file;
}

}  // namespace trellan::test
