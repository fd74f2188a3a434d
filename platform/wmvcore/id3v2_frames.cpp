// Rebuilding single ID3v2 frames for TagLib: the limits, the repairs of
// their text, and pictures split where their data begins.
#include "id3v2_frames.h"

#include "text_conversion.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

namespace platform {
namespace {

// The first bytes of a picture frame in which the fields before its data
// (MIME type, picture type, description) are looked for.
const size_t pictureFieldsWindow = 64 * 1024;

// 2.3 and 2.4 frame format flags.
const WORD compressed23 = 0x0080, encrypted23 = 0x0040;
const WORD compressed24 = 0x0008, encrypted24 = 0x0004;
const WORD unsynchronised24 = 0x0002, dataLength24 = 0x0001;
const WORD grouped23 = 0x0020, grouped24 = 0x0040;

void PutSize(std::vector<BYTE>& out, DWORD size, int major)
{
    const int bytes = major == 2 ? 3 : 4;
    const int bitsPerByte = major == 4 ? 7 : 8;
    const DWORD mask = (1u << bitsPerByte) - 1;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<BYTE>((size >> (bitsPerByte * i)) & mask));
}

// Inflates a zlib stream that ends within `length` bytes into `out`: true
// when it ends and gives at most `limit` bytes; `tooLarge` when it would
// give more.
bool Inflate(const BYTE* data, size_t length, uint64_t limit, std::vector<BYTE>& out, bool& tooLarge)
{
    tooLarge = false;
    out.clear();
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(length);
    BYTE scratch[16 * 1024];
    int status = Z_OK;
    while (status == Z_OK && !tooLarge) {
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        status = inflate(&stream, Z_NO_FLUSH);
        const size_t given = sizeof scratch - stream.avail_out;
        tooLarge = out.size() + given > limit;
        if (!tooLarge)
            out.insert(out.end(), scratch, scratch + given);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && !tooLarge;
}

// Undoes unsynchronisation: each 0xFF 0x00 stands for 0xFF.
void Resynchronise(const BYTE* data, size_t length, std::vector<BYTE>& out)
{
    out.clear();
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < length && data[i + 1] == 0)
            ++i;
    }
}

bool Utf16Encoding(BYTE encoding) { return encoding == 1 || encoding == 2 || encoding == 4; }

// Latin-1, UTF-16 with a byte-order mark, UTF-16BE, UTF-8.
bool KnownEncoding(BYTE encoding) { return encoding <= 3; }

// The byte-order mark for a UTF-16 field that has none: little-endian, as
// the taggers that leave the mark out write it, unless the field's zero
// bytes (the high bytes of Latin text) stand first in its units.
void PutMarkFor(const BYTE* field, size_t length, std::vector<BYTE>& out)
{
    size_t zeroFirst = 0, zeroSecond = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        zeroFirst += field[i] == 0;
        zeroSecond += field[i + 1] == 0;
    }
    if (zeroFirst > zeroSecond)
        out.insert(out.end(), {0xFE, 0xFF});
    else
        out.insert(out.end(), {0xFF, 0xFE});
}

// Walks UTF-16 text fields (each ended by 0x00 0x00 at an even offset, the
// last perhaps not, and only `mostFields` of them: what follows the last is
// its text) and calls `field` with each one's start and end.
template <typename Field>
void ForEachUtf16Field(const BYTE* bytes, size_t length, size_t mostFields, Field field)
{
    size_t start = 0;
    for (size_t count = 1; start < length; ++count) {
        size_t end = length;
        if (count < mostFields) {
            end = start;
            while (end + 1 < length && (bytes[end] != 0 || bytes[end + 1] != 0))
                end += 2;
            if (end + 1 >= length)
                end = length;
        }
        field(start, end);
        start = end == length ? length : end + 2;
    }
}

bool HasMark(const BYTE* field, size_t length)
{
    return length >= 2 && ((field[0] == 0xFF && field[1] == 0xFE) || (field[0] == 0xFE && field[1] == 0xFF));
}

// Appends UTF-16 text fields with a byte-order mark before each field that
// has none, which TagLib would read as nothing. False, with nothing
// appended, when every field has its mark.
bool AppendMarkedUtf16(const BYTE* bytes, size_t length, size_t mostFields, std::vector<BYTE>& out)
{
    bool unmarked = false;
    ForEachUtf16Field(bytes, length, mostFields, [&](size_t start, size_t end) {
        unmarked = unmarked || (end - start >= 2 && !HasMark(bytes + start, end - start));
    });
    if (!unmarked)
        return false;
    ForEachUtf16Field(bytes, length, mostFields, [&](size_t start, size_t end) {
        if (end - start >= 2 && !HasMark(bytes + start, end - start))
            PutMarkFor(bytes + start, end - start, out);
        out.insert(out.end(), bytes + start, bytes + end);
        if (end < length)
            out.insert(out.end(), {0, 0});
    });
    return true;
}

// Where a picture frame's data begins, found as TagLib finds it: the
// encoding, the MIME type (three letters in 2.2), the picture type, the
// description in the frame's encoding. Null when TagLib would take the
// frame as too short to hold data; a description not ended within the
// fields' window is taken as none, the data then beginning after the
// picture type.
std::optional<size_t> PictureDataStart(const std::vector<BYTE>& fields, int major)
{
    if (fields.size() < 5)
        return std::nullopt;
    size_t position = 1;
    if (major == 2) {
        position = 4;
    } else {
        const auto nul = std::find(fields.begin() + 1, fields.end(), 0);
        if (nul != fields.end())
            position = static_cast<size_t>(nul - fields.begin()) + 1;
        if (position + 1 >= fields.size())
            return std::nullopt;
    }
    ++position;  // the picture type
    const size_t width = Utf16Encoding(fields[0]) ? 2 : 1;
    for (size_t at = position; at + width <= fields.size(); at += width) {
        if (fields[at] == 0 && (width == 1 || fields[at + 1] == 0))
            return at + width;
    }
    return position;
}

}  // namespace

FrameKind KindOfFrame(const BYTE* id, int major)
{
    const size_t length = major == 2 ? 3 : 4;
    auto is = [&](const char* name2, const char* name) { return std::memcmp(id, major == 2 ? name2 : name, length) == 0; };
    if (id[0] == 'T' || is("COM", "COMM") || is("ULT", "USLT"))
        return FrameKind::Text;
    if (is("PIC", "APIC"))
        return FrameKind::Picture;
    return FrameKind::Skipped;
}

bool TagRebuilder::Compressed(WORD flags) const
{
    return major == 3 ? flags & compressed23 : major == 4 && (flags & compressed24);
}

bool TagRebuilder::Encrypted(WORD flags) const
{
    return major == 3 ? flags & encrypted23 : major == 4 && (flags & encrypted24);
}

bool TagRebuilder::Unsynchronised(WORD flags) const
{
    return major == 4 && (allUnsynchronised || (flags & unsynchronised24));
}

TagRebuilder::Unpacked TagRebuilder::Unpack(const FrameSpan& frame, const BYTE*& bytes, size_t& size)
{
    if (Encrypted(frame.flags))
        return Unpacked::Dropped;  // no reader can read it
    // What stands before the data: in 2.3 the inflated size and the group;
    // in 2.4 the group and the data-length indicator (which compression
    // needs).
    const bool compressed = Compressed(frame.flags);
    size_t skip = 0;
    if (major == 3)
        skip = (compressed ? 4 : 0) + (frame.flags & grouped23 ? 1 : 0);
    else if (major == 4)
        skip = (frame.flags & grouped24 ? 1 : 0) + (frame.flags & (dataLength24 | compressed24) ? 4 : 0);
    if (size < skip)
        return Unpacked::Dropped;  // its flags promise more than it holds
    bytes += skip;
    size -= skip;
    if (Unsynchronised(frame.flags)) {
        Resynchronise(bytes, size, resynchronised);
        bytes = resynchronised.data();
        size = resynchronised.size();
    }
    if (compressed) {
        bool tooLarge = false;
        if (!Inflate(bytes, size, largestValue, inflated, tooLarge))
            return tooLarge ? Unpacked::OverLimit : Unpacked::Dropped;
        bytes = inflated.data();
        size = inflated.size();
    }
    return Unpacked::Kept;
}

void TagRebuilder::Emit(const BYTE* id, const BYTE* flags, const BYTE* data, DWORD size)
{
    out.insert(out.end(), id, id + (major == 2 ? 3 : 4));
    PutSize(out, size, major);
    if (major > 2)
        out.insert(out.end(), flags, flags + 2);
    out.insert(out.end(), data, data + size);
}

HRESULT TagRebuilder::AppendText(const FrameSpan& frame, const BYTE* data)
{
    // The frame as it reads with its flags undone, so that it is emitted
    // plain and its text is repaired as any other's.
    const BYTE* bytes = data;
    size_t size = frame.size;
    switch (Unpack(frame, bytes, size)) {
    case Unpacked::Dropped:
        return S_OK;
    case Unpacked::OverLimit:
        return overLimit;
    case Unpacked::Kept:
        break;
    }

    // A text encoding that no version defines: the frame cannot be decoded
    // (TagLib would read it as UTF-16 and give noise), so it is left out.
    if (size > 0 && !KnownEncoding(bytes[0]))
        return S_OK;

    // Text that TagLib would drop whole: UTF-8 with ill-formed bytes (those
    // become U+FFFD, the rest is kept) and UTF-16 without a byte-order mark.
    const size_t textStart = frame.id[0] == 'T' ? 1 : 4;  // after the encoding (and the language)
    if (size > textStart && (bytes[0] == 3 || bytes[0] == 1)) {
        repaired.assign(bytes, bytes + textStart);
        // A comment or lyrics frame has a description and a text; the others
        // any number of values.
        const size_t mostFields = frame.id[0] == 'T' ? SIZE_MAX : 2;
        const bool changed = bytes[0] == 3 ? AppendRepairedUtf8(bytes + textStart, size - textStart, repaired)
                                           : AppendMarkedUtf16(bytes + textStart, size - textStart, mostFields, repaired);
        if (changed) {
            bytes = repaired.data();
            size = repaired.size();
        }
    }
    if (size > largestValue || !budget.Add(size, true))
        return overLimit;
    if (size == 0)
        return S_OK;  // TagLib would stop at an empty frame; it has nothing to give anyway

    const BYTE plain[2] = {0, 0};
    Emit(frame.id, plain, bytes, static_cast<DWORD>(size));
    return S_OK;
}

HRESULT TagRebuilder::AppendPicture(const FrameSpan& frame, const MediaFile& file, ByteSource& body,
                                    StoredBytes& pictureData, bool& appended)
{
    appended = false;
    pictureData = StoredBytes{};
    if (Encrypted(frame.flags))
        return S_OK;  // no reader can read it

    if (Compressed(frame.flags)) {
        // Inflated here, within the limits; over them it is left out.
        std::vector<BYTE> data;
        if (frame.size > largestValue)
            return S_OK;
        if (!body.Read(frame.position, frame.size, data))
            return NS_E_INVALID_INPUT_FORMAT;
        const BYTE* bytes = data.data();
        size_t size = data.size();
        if (Unpack(frame, bytes, size) != Unpacked::Kept || size == 0 || !KnownEncoding(bytes[0]) ||
            !budget.Add(size, false))
            return S_OK;
        const BYTE plain[2] = {0, 0};
        Emit(frame.id, plain, bytes, static_cast<DWORD>(size));
        appended = true;
        return S_OK;
    }

    // The data as TagLib takes it: after the 2.4 data-length indicator, up
    // to the length it gives, with the 2.4 frame's unsynchronisation undone.
    SourceView stored(body, frame.position, frame.size);
    ByteSource* data = &stored;
    std::optional<ResynchronisedSource> resynchronised;
    if (Unsynchronised(frame.flags)) {
        StoredBytes whole;
        if (!stored.Locate(0, frame.size, whole))
            return NS_E_INVALID_INPUT_FORMAT;
        resynchronised.emplace(file, whole.offset, whole.storedLength);
        if (!resynchronised->Measure())
            return NS_E_INVALID_INPUT_FORMAT;
        data = &*resynchronised;
    }
    uint64_t skip = 0;
    uint64_t length = data->Size();
    if (major == 4 && (frame.flags & dataLength24)) {
        BYTE indicator[4];
        if (length < 4 || !data->Copy(0, 4, indicator))
            return S_OK;
        const uint64_t given = DWORD(indicator[0] & 0x7F) << 21 | DWORD(indicator[1] & 0x7F) << 14 |
                               DWORD(indicator[2] & 0x7F) << 7 | DWORD(indicator[3] & 0x7F);
        skip = 4;
        length = std::min(given, length - 4);
    }
    SourceView picture(*data, skip, length);

    std::vector<BYTE> fields;
    if (!picture.Read(0, static_cast<size_t>(std::min<uint64_t>(length, pictureFieldsWindow)), fields))
        return NS_E_INVALID_INPUT_FORMAT;
    if (!fields.empty() && !KnownEncoding(fields[0]))
        return S_OK;  // its description cannot be decoded: left out
    const std::optional<size_t> dataStart = PictureDataStart(fields, major);
    if (dataStart && !picture.Locate(*dataStart, length - *dataStart, pictureData))
        return NS_E_INVALID_INPUT_FORMAT;
    if (!dataStart && fields.size() < length)
        return S_OK;  // cannot happen: a frame longer than the window has room for its fields
    const DWORD kept = static_cast<DWORD>(dataStart ? *dataStart : fields.size());
    if (kept == 0)
        return S_OK;  // an empty frame, at which TagLib would stop
    if (!budget.Add(kept, false))
        return overLimit;
    const BYTE plain[2] = {0, 0};  // what made the data unusual as stored is undone
    Emit(frame.id, plain, fields.data(), kept);
    appended = true;
    return S_OK;
}

}  // namespace platform
