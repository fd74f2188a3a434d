// The ID3v2 header and frame walk, and the tag rebuilt for TagLib.
#include "id3v2_layout.h"

#include "id3v2_frames.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform {
namespace {

const size_t headerSize = 10;
// Zero bytes after the frames. They keep the tag's last bytes from reading
// as an ID3v1 or APE tag when TagLib looks for those at the end.
const size_t trailingPadding = 160;

// Header flags.
const BYTE unsynchronisedTag = 0x80, extendedHeader = 0x40, compressedTag22 = 0x40, footer24 = 0x10;

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

bool IsFrameIdUnit(BYTE unit) { return (unit >= 'A' && unit <= 'Z') || (unit >= '0' && unit <= '9'); }

bool IsFrameId(const BYTE* id, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (!IsFrameIdUnit(id[i]))
            return false;
    return true;
}

// The 2.3 frames of the 2.2 ids that give attributes, for a 2.3 or 2.4 tag
// that holds 2.2 ids padded with a zero byte, as an old player's tag
// upgrade leaves them.
struct UpgradedId {
    char old[4];
    char id[5];
};
const UpgradedId upgradedIds[] = {
    {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"COM", "COMM"}, {"TAL", "TALB"}, {"TYE", "TYER"}, {"TCO", "TCON"},
    {"TCR", "TCOP"}, {"ULT", "USLT"}, {"TPB", "TPUB"}, {"TCM", "TCOM"}, {"TP2", "TPE2"}, {"TRK", "TRCK"},
    {"TPA", "TPOS"}, {"TXT", "TEXT"}, {"TEN", "TENC"}, {"TBP", "TBPM"}, {"TKE", "TKEY"}, {"TLA", "TLAN"},
    {"TRC", "TSRC"}, {"TXX", "TXXX"},
};

// A frame id of a 2.3 or 2.4 tag: four id characters, or a 2.2 id and a
// zero byte, which `id` then holds as its 2.3 frame (zero bytes when it
// gives no attribute).
bool ReadFrameId(const BYTE* bytes, BYTE* id)
{
    std::memcpy(id, bytes, 4);
    if (IsFrameId(bytes, 4))
        return true;
    if (bytes[3] != 0 || !IsFrameId(bytes, 3))
        return false;
    std::memset(id, 0, 4);
    for (const UpgradedId& row : upgradedIds)
        if (std::memcmp(bytes, row.old, 3) == 0)
            std::memcpy(id, row.id, 4);
    return true;
}

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
    // and 2.4 the footer.
    const BYTE knownFlags[] = {0xC0, 0xE0, 0xF0};
    if (header.major < 2 || header.major > 4 || bytes[4] == 0xFF || (header.flags & ~knownFlags[header.major - 2]))
        return false;
    return SyncSafe(&bytes[6], header.bodySize);
}

// Where the frames begin after the extended header of a 2.3 or 2.4 tag that
// ends at `end`.
bool SkipExtendedHeader(const Header& header, ByteSource& body, uint64_t end, uint64_t& position)
{
    BYTE size[4];
    if (end < 4 || !body.Copy(0, 4, size))
        return false;
    // Some taggers set the flag and write no extended header: a frame
    // stands there at once (no extended header's size reads as a frame id).
    BYTE id[4];
    if (ReadFrameId(size, id)) {
        position = 0;
        return true;
    }
    uint64_t length = 0;
    if (header.major == 3) {
        length = uint64_t(BigEndian(size, 4)) + 4;  // the size leaves itself out
        // Some writers count it in: then the first frame begins four bytes
        // earlier.
        const auto frameAt = [&](uint64_t at) { return at + 4 <= end && body.Copy(at, 4, id) && IsFrameId(id, 4); };
        if (length >= 10 && !frameAt(length) && frameAt(length - 4))
            length -= 4;
    } else {
        DWORD synchsafe = 0;
        if (!SyncSafe(size, synchsafe))
            return false;
        length = synchsafe;
    }
    if (length < 6 || length > end)
        return false;
    position = length;
    return true;
}

// How the frame sizes of a 2.4 tag are read: synchsafe as the version has
// them, plain 32-bit numbers as one widely used player wrote them for
// years, or each frame as it fits.
enum class SizeReading { SyncSafe, Plain, EachFrame };

struct Walk {
    std::vector<FrameSpan> frames;  // the frames that give attributes
    uint64_t end = 0;               // where the last frame ends
    bool refused = false;           // a frame runs past the tag, or the first is no frame
    bool clean = false;             // only zero padding follows the frames
    bool overLimit = false;         // more frames that give attributes than can be listed
    bool ambiguous = false;         // a 2.4 size reads otherwise as a plain number
    bool overrun = false;           // the last frame runs past the tag's declared end
};

// Walks the frames from `position` to `declared`, the tag's declared end:
// each must have a valid id and lie inside the tag. Zero bytes end the
// frames (padding); so does a non-frame after at least one frame, which
// some taggers leave in the padding. `checkPadding`: find out whether the
// walk ends cleanly. Some taggers declare a size a little short of the last
// frame: one that begins inside the tag and ends inside `body` (the tag and
// what the file holds after it, when that can be read) is read whole, and
// ends the frames.
Walk WalkFrames(int major, ByteSource& body, uint64_t position, uint64_t declared, SizeReading reading,
                bool checkPadding)
{
    const size_t idLength = major == 2 ? 3 : 4;
    const size_t frameHeaderSize = major == 2 ? 6 : 10;
    Walk walk;
    walk.end = position;
    size_t frames = 0;
    BYTE bytes[10];
    while (position < declared && body.Size() - position >= frameHeaderSize) {
        if (!body.Copy(position, frameHeaderSize, bytes)) {
            walk.refused = true;
            return walk;
        }
        if (bytes[0] == 0)
            break;
        BYTE id[4] = {};
        if (major == 2 ? !IsFrameId(bytes, idLength) : !ReadFrameId(bytes, id)) {
            walk.refused = frames == 0;
            return walk;
        }

        const uint64_t data = position + frameHeaderSize;
        const auto fits = [&](DWORD length) { return data <= body.Size() && length <= body.Size() - data; };
        DWORD size = 0;
        if (major == 2) {
            size = BigEndian(bytes + 3, 3);
        } else if (major == 3 || reading == SizeReading::Plain) {
            size = BigEndian(bytes + 4, 4);
        } else if (!SyncSafe(bytes + 4, size) || !fits(size)) {
            if (reading == SizeReading::SyncSafe) {
                walk.refused = true;
                return walk;
            }
            size = BigEndian(bytes + 4, 4);
        }
        if (!fits(size)) {
            walk.refused = true;
            return walk;
        }
        walk.ambiguous = walk.ambiguous || bytes[4] || bytes[5] || bytes[6];

        FrameSpan frame;
        std::memcpy(frame.id, major == 2 ? bytes : id, idLength);
        frame.flags = major == 2 ? 0 : static_cast<WORD>(bytes[8] << 8 | bytes[9]);
        frame.position = data;
        frame.size = size;
        frame.kind = KindOfFrame(frame.id, major);
        if (frame.kind != FrameKind::Skipped) {
            if (walk.frames.size() >= mostAttributes) {
                walk.overLimit = true;
                return walk;
            }
            walk.frames.push_back(frame);
        }
        position = data + size;
        walk.end = position;
        ++frames;
        if (position > declared) {
            walk.overrun = true;
            walk.clean = true;
            return walk;
        }
    }
    walk.clean = checkPadding && body.ZeroFrom(position, declared);
    return walk;
}

// The frames as the tag proves them. A 2.4 tag is read with synchsafe
// sizes, and else with plain ones, when every frame is then a frame inside
// the tag followed by nothing but padding; under the wrong reading a size
// lands inside another frame's text, where the walk meets junk or runs out
// of the tag. When neither reading ends cleanly, the one whose frames reach
// furthest wins, each frame read as it fits among them.
Walk ChooseWalk(const Header& header, ByteSource& body, uint64_t position, uint64_t declared)
{
    if (header.major < 4)
        return WalkFrames(header.major, body, position, declared, SizeReading::EachFrame, false);
    Walk best = WalkFrames(header.major, body, position, declared, SizeReading::SyncSafe, false);
    if (best.overLimit || (!best.refused && !best.ambiguous))
        return best;  // every size under 128: both readings are the same
    best.clean = !best.refused && body.ZeroFrom(best.end, declared);
    if (best.clean)
        return best;
    for (const SizeReading reading : {SizeReading::Plain, SizeReading::EachFrame}) {
        Walk next = WalkFrames(header.major, body, position, declared, reading, reading == SizeReading::Plain);
        if (next.overLimit || (reading == SizeReading::Plain && !next.refused && next.clean))
            return next;
        if (!next.refused && (best.refused || next.end > best.end))
            best = std::move(next);
    }
    return best;
}

}  // namespace

bool StartsWithId3v2(const std::vector<BYTE>& head)
{
    return head.size() >= 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3';
}

HRESULT ReadId3v2Tag(const MediaFile& file, uint64_t start, Id3v2Tag& tag, HeaderBudget& budget)
{
    tag = Id3v2Tag{};
    std::vector<BYTE> bytes;
    Header header;
    if (start > file.Size() || !file.Read(start, headerSize, bytes) || !ParseHeader(bytes, header) ||
        file.Size() - start - headerSize < header.bodySize)
        return NS_E_INVALID_INPUT_FORMAT;
    if (header.major == 2 && (header.flags & compressedTag22))
        return NS_E_INVALID_INPUT_FORMAT;  // the compression of 2.2 was never defined
    tag.end = start + headerSize + header.bodySize + (header.major == 4 && (header.flags & footer24) ? headerSize : 0);

    // In 2.2 and 2.3 the whole tag is unsynchronised, frame headers too; in
    // 2.4 the frames' data, each frame's own flag or the tag's saying so.
    const bool unsynchronised = header.major < 4 && (header.flags & unsynchronisedTag);
    // A last frame may run past the declared end into what the file holds
    // after it (not through the unsynchronisation of a whole tag, whose
    // stored size says nothing of the frame's).
    const uint64_t declared = header.bodySize;
    StoredSource stored(file, start + headerSize, file.Size() - start - headerSize, declared);
    ResynchronisedSource resynchronised(file, start + headerSize, declared);
    if (unsynchronised && !resynchronised.Measure())
        return NS_E_INVALID_INPUT_FORMAT;
    ByteSource& body = unsynchronised ? static_cast<ByteSource&>(resynchronised) : stored;

    // The extended header is left out of the rebuilt tag: its CRC and
    // restrictions do not hold for it, and TagLib misreads a 2.3 one.
    uint64_t position = 0;
    if (header.major >= 3 && (header.flags & extendedHeader) &&
        !SkipExtendedHeader(header, body, std::min<uint64_t>(body.Size(), declared), position))
        return NS_E_INVALID_INPUT_FORMAT;

    const Walk walk = ChooseWalk(header, body, position, unsynchronised ? body.Size() : declared);
    if (walk.overLimit)
        return overLimit;
    if (walk.refused)
        return NS_E_INVALID_INPUT_FORMAT;
    if (walk.overrun)
        tag.end = std::max(tag.end, start + headerSize + walk.end);

    // The header with the new size, without the flags of what is left out
    // (the unsynchronisation undone, the extended header, the footer), the
    // frames, the padding.
    const BYTE flags = header.flags & ~(extendedHeader | footer24 | unsynchronisedTag);
    tag.rebuilt.assign({'I', 'D', '3', BYTE(header.major), 0, flags, 0, 0, 0, 0});
    TagRebuilder rebuilder(header.major, header.major == 4 && (header.flags & unsynchronisedTag), budget, tag.rebuilt);
    // The data of one text frame at a time, not cleared before it is read.
    std::unique_ptr<BYTE[]> data;
    size_t room = 0;
    for (const FrameSpan& frame : walk.frames) {
        HRESULT result = S_OK;
        if (frame.kind == FrameKind::Text) {
            // Kept whole: one over the value limit is refused before it is read.
            if (frame.size > largestValue)
                return overLimit;
            if (frame.size > room) {
                room = std::max<size_t>(frame.size, 2 * room);
                data = std::make_unique_for_overwrite<BYTE[]>(room);
            }
            if (!body.Copy(frame.position, frame.size, data.get()))
                return NS_E_INVALID_INPUT_FORMAT;
            result = rebuilder.AppendText(frame, data.get());
        } else {
            StoredBytes picture;
            bool appended = false;
            result = rebuilder.AppendPicture(frame, file, body, picture, appended);
            if (appended)
                tag.pictures.push_back(picture);
        }
        if (FAILED(result))
            return result;
        // The limit holds for the tag as rebuilt: replacing bytes that are
        // not UTF-8 can make a text up to three times as long.
        if (tag.rebuilt.size() > largestHeader)
            return overLimit;
    }
    tag.rebuilt.resize(tag.rebuilt.size() + trailingPadding, 0);
    const DWORD size = static_cast<DWORD>(tag.rebuilt.size() - headerSize);
    for (int i = 0; i < 4; ++i)
        tag.rebuilt[6 + i] = static_cast<BYTE>((size >> (7 * (3 - i))) & 0x7F);
    return S_OK;
}

}  // namespace platform
