// The ID3v2 header and frame walk, and the tag rebuilt for TagLib.
#include "id3v2_layout.h"

#include "text_conversion.h"

#include <zlib.h>

#include <cstring>

namespace platform {
namespace {

const size_t headerSize = 10;
// Zero bytes after the frames. They keep the tag's last bytes from reading
// as an ID3v1 or APE tag when TagLib looks for those at the end.
const size_t trailingPadding = 160;

DWORD BigEndian(const BYTE* bytes, int count)
{
    DWORD value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// A 28-bit "synchsafe" number: four bytes of seven bits each.
bool SyncSafe(const BYTE* bytes, DWORD& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] & 0x80)
            return false;
        value = (value << 7) | bytes[i];
    }
    return true;
}

void PutSize(std::vector<BYTE>& out, DWORD size, int major)
{
    const int bytes = major == 2 ? 3 : 4;
    const int bitsPerByte = major == 4 ? 7 : 8;
    const DWORD mask = (1u << bitsPerByte) - 1;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<BYTE>((size >> (bitsPerByte * i)) & mask));
}

bool IsFrameIdUnit(BYTE unit) { return (unit >= 'A' && unit <= 'Z') || (unit >= '0' && unit <= '9'); }

struct Header {
    int major = 0;
    BYTE flags = 0;
    DWORD bodySize = 0;
};

// The ten-byte header: "ID3", version 2.2 to 2.4, known flags only, a
// synchsafe size.
bool ParseHeader(const std::vector<BYTE>& bytes, Header& header)
{
    if (bytes.size() < headerSize || !StartsWithId3v2(bytes))
        return false;
    header.major = bytes[3];
    header.flags = bytes[5];
    // Flags that each version defines: 2.2 unsynchronisation and
    // compression; 2.3 adds the extended header and the experimental bit;
    // 2.4 the footer.
    const BYTE knownFlags[] = {0xC0, 0xE0, 0xF0};
    if (header.major < 2 || header.major > 4 || bytes[4] == 0xFF || (header.flags & ~knownFlags[header.major - 2]))
        return false;
    return SyncSafe(&bytes[6], header.bodySize);
}

// Undoes the unsynchronisation of a whole 2.2 or 2.3 tag: 0xFF 0x00
// becomes 0xFF.
std::vector<BYTE> Resynchronised(const std::vector<BYTE>& body)
{
    std::vector<BYTE> out;
    out.reserve(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
        out.push_back(body[i]);
        if (body[i] == 0xFF && i + 1 < body.size() && body[i + 1] == 0)
            ++i;
    }
    return out;
}

// The size of what a zlib stream inflates to, when it ends within `length`
// bytes and inflates to at most `limit` bytes; false otherwise.
bool InflatedSize(const BYTE* data, size_t length, uint64_t limit, uint64_t& size)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(length);
    BYTE scratch[16 * 1024];
    size = 0;
    int status = Z_OK;
    while (status == Z_OK && size <= limit) {
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        status = inflate(&stream, Z_NO_FLUSH);
        size += sizeof scratch - stream.avail_out;
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && size <= limit;
}

// One frame as the walk found it.
struct Frame {
    const BYTE* id;
    const BYTE* flags;  // two bytes; null in 2.2, which has none
    const BYTE* data;
    DWORD size;
};

class TagRebuilder {
public:
    TagRebuilder(int major, HeaderBudget& budget, std::vector<BYTE>& out) : major(major), budget(budget), out(out) {}

    // Checks one frame against the limits and appends it to the tag.
    bool Append(const Frame& frame)
    {
        const size_t idLength = major == 2 ? 3 : 4;
        const bool text = frame.id[0] == 'T' || std::memcmp(frame.id, major == 2 ? "COM" : "COMM", idLength) == 0 ||
                          std::memcmp(frame.id, major == 2 ? "ULT" : "USLT", idLength) == 0;
        const WORD flags = frame.flags ? static_cast<WORD>(frame.flags[0] << 8 | frame.flags[1]) : 0;
        const bool compressed = major == 3 ? flags & 0x0080 : major == 4 ? flags & 0x0008 : false;
        const bool encrypted = major == 3 ? flags & 0x0040 : major == 4 ? flags & 0x0004 : false;
        const bool formatted = major == 3 ? flags & 0x00E0 : major == 4 ? flags & 0x004F : false;

        uint64_t valueSize = frame.size;
        if (compressed && !encrypted) {
            // TagLib inflates what follows the 4-byte size: it must end and
            // stay within the limit, or TagLib's inflation would not.
            if (frame.size < 4 || !InflatedSize(frame.data + 4, frame.size - 4, largestValue, valueSize))
                return false;
        }

        // Text in UTF-8 with ill-formed bytes: TagLib would drop the whole
        // text, so those bytes become U+FFFD and the rest is kept.
        const BYTE* data = frame.data;
        DWORD size = frame.size;
        const size_t textStart = frame.id[0] == 'T' ? 1 : 4;  // after the encoding (and the language)
        if (text && !formatted && frame.size > textStart && frame.data[0] == 3) {
            repaired.assign(frame.data, frame.data + textStart);
            if (AppendRepairedUtf8(frame.data + textStart, frame.size - textStart, repaired)) {
                data = repaired.data();
                size = static_cast<DWORD>(repaired.size());
                valueSize = size;
            }
        }
        if (!budget.Add(valueSize, text))
            return false;
        if (size == 0)
            return true;  // TagLib would stop at an empty frame; it has nothing to give anyway

        out.insert(out.end(), frame.id, frame.id + idLength);
        PutSize(out, size, major);
        if (frame.flags)
            out.insert(out.end(), frame.flags, frame.flags + 2);
        out.insert(out.end(), data, data + size);
        return true;
    }

private:
    int major;
    HeaderBudget& budget;
    std::vector<BYTE>& out;
    std::vector<BYTE> repaired;
};

// Walks the frames of the tag body from `position` and appends each to the
// rebuilt tag: each frame must have a valid id and lie inside the tag. Zero
// bytes end the frames (padding); so does a non-frame after at least one
// frame, which some taggers leave in the padding.
bool WalkFrames(const Header& header, const std::vector<BYTE>& body, size_t position, TagRebuilder& rebuilt)
{
    const size_t idLength = header.major == 2 ? 3 : 4;
    const size_t frameHeaderSize = header.major == 2 ? 6 : 10;
    int frames = 0;
    while (body.size() - position >= frameHeaderSize && body[position] != 0) {
        const BYTE* frame = &body[position];
        bool validId = true;
        for (size_t i = 0; i < idLength; ++i)
            validId = validId && IsFrameIdUnit(frame[i]);
        if (!validId)
            return frames > 0;

        const size_t room = body.size() - position - frameHeaderSize;
        DWORD size = 0;
        if (header.major == 2) {
            size = BigEndian(frame + 3, 3);
        } else if (header.major == 3) {
            size = BigEndian(frame + 4, 4);
        } else if (!SyncSafe(frame + 4, size) || size > room) {
            size = BigEndian(frame + 4, 4);  // some writers put plain sizes in 2.4 tags
        }
        if (size > room)
            return false;
        if (!rebuilt.Append({frame, header.major == 2 ? nullptr : frame + 8, frame + frameHeaderSize, size}))
            return false;
        position += frameHeaderSize + size;
        ++frames;
    }
    return true;
}

}  // namespace

bool StartsWithId3v2(const std::vector<BYTE>& head)
{
    return head.size() >= 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3';
}

HRESULT ReadId3v2Tag(const MediaFile& file, std::vector<BYTE>& tag, uint64_t& end, HeaderBudget& budget)
{
    std::vector<BYTE> bytes;
    Header header;
    if (!file.Read(0, headerSize, bytes) || !ParseHeader(bytes, header) || header.bodySize > largestHeader - headerSize)
        return NS_E_INVALID_INPUT_FORMAT;
    if (header.major == 2 && (header.flags & 0x40))
        return NS_E_INVALID_INPUT_FORMAT;  // the compression of 2.2 was never defined
    std::vector<BYTE> body;
    if (!file.Read(headerSize, header.bodySize, body))
        return NS_E_INVALID_INPUT_FORMAT;
    end = headerSize + header.bodySize + (header.major == 4 && (header.flags & 0x10) ? headerSize : 0);

    // In 2.2 and 2.3 the whole tag is unsynchronised, frame headers too; in
    // 2.4 each frame says so itself, and TagLib undoes it.
    BYTE flags = header.flags;
    if (header.major < 4 && (flags & 0x80)) {
        body = Resynchronised(body);
        flags &= ~0x80;
    }

    size_t position = 0;
    if (header.major >= 3 && (flags & 0x40)) {
        if (body.size() < 4)
            return NS_E_INVALID_INPUT_FORMAT;
        DWORD extendedSize = 0;
        if (header.major == 3) {
            extendedSize = BigEndian(body.data(), 4) + 4;  // the size leaves itself out
        } else if (!SyncSafe(body.data(), extendedSize)) {
            return NS_E_INVALID_INPUT_FORMAT;
        }
        if (extendedSize < 6 || extendedSize > body.size())
            return NS_E_INVALID_INPUT_FORMAT;
        position = extendedSize;
    }

    // The header with the new size, the extended header as it was, the
    // frames, the padding. The footer of 2.4 is left out with its flag.
    tag.assign({'I', 'D', '3', BYTE(header.major), 0, BYTE(flags & ~0x10), 0, 0, 0, 0});
    tag.insert(tag.end(), body.begin(), body.begin() + static_cast<ptrdiff_t>(position));
    TagRebuilder rebuilt(header.major, budget, tag);
    // The limit holds for the tag as rebuilt too: replacing bytes that are
    // not UTF-8 can make a text up to three times as long.
    if (!WalkFrames(header, body, position, rebuilt) || tag.size() > largestHeader)
        return NS_E_INVALID_INPUT_FORMAT;
    tag.resize(tag.size() + trailingPadding, 0);
    const DWORD size = static_cast<DWORD>(tag.size() - headerSize);
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = static_cast<BYTE>((size >> (7 * (3 - i))) & 0x7F);
    return S_OK;
}

}  // namespace platform
