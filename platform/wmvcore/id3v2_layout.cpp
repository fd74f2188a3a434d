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
    uint64_t end = 0;               // where the last frame read ends
    bool refused = false;           // the tag's bytes could not be read
    bool damaged = false;           // the walk stopped at a frame it could not read, nor see past
    size_t walked = 0;              // frames read, those left out for their id among them
    size_t found = 0;               // and a valid id met where a frame that runs past the tag begins
    bool clean = false;             // only zero padding follows the frames
    bool overLimit = false;         // more frames that give attributes than can be listed
    bool ambiguous = false;         // a 2.4 size reads otherwise as a plain number
    bool overrun = false;           // the last frame runs past the tag's declared end
};

// How far past the tag's declared end a last frame may run and still be
// read whole: some taggers declare a size a little short of it (by no more
// than a header's bytes); a size that runs further is damage.
const uint64_t shortDeclaredSlack = headerSize;

// Walks the frames from `position` to `declared`, the tag's declared end.
// Zero bytes end the frames (padding). A frame that cannot be read is left
// out: one whose id is not valid is passed over when its size lands on
// certain ground (the declared end, padding, or a valid id), and otherwise
// ends the frames, as does one that runs past the tag; the frames before it
// are kept. The walk never looks for a frame anywhere else. `checkPadding`:
// find out whether the walk ends cleanly. A last frame that begins inside
// the tag and ends a little past its declared end, inside `body` (the tag
// and what the file holds after it, when that can be read), is read whole.
Walk WalkFrames(int major, ByteSource& body, uint64_t position, uint64_t declared, SizeReading reading,
                bool checkPadding)
{
    const size_t idLength = major == 2 ? 3 : 4;
    const size_t frameHeaderSize = major == 2 ? 6 : 10;
    Walk walk;
    walk.end = position;
    BYTE bytes[10];
    // Whether a frame may stand at `at`: the declared end, padding or a valid id.
    const auto certainGround = [&](uint64_t at) {
        BYTE next[4];
        if (at == declared || at == body.Size())
            return true;
        if (at > declared || body.Size() - at < idLength || !body.Copy(at, idLength, next))
            return false;
        BYTE id[4];
        return next[0] == 0 || (major == 2 ? IsFrameId(next, idLength) : ReadFrameId(next, id));
    };
    while (position < declared && body.Size() - position >= frameHeaderSize) {
        if (!body.Copy(position, frameHeaderSize, bytes)) {
            walk.refused = true;
            return walk;
        }
        if (bytes[0] == 0)
            break;
        BYTE id[4] = {};
        const bool validId = major == 2 ? IsFrameId(bytes, idLength) : ReadFrameId(bytes, id);

        const uint64_t data = position + frameHeaderSize;
        const auto fits = [&](DWORD length) {
            return data <= body.Size() && length <= body.Size() - data &&
                   data + length <= declared + shortDeclaredSlack;
        };
        DWORD size = 0;
        bool sizeRead = true;
        if (major == 2) {
            size = BigEndian(bytes + 3, 3);
        } else if (major == 3 || reading == SizeReading::Plain) {
            size = BigEndian(bytes + 4, 4);
        } else if (!SyncSafe(bytes + 4, size) || !fits(size)) {
            sizeRead = reading != SizeReading::SyncSafe;
            size = BigEndian(bytes + 4, 4);
        }
        if (!sizeRead || !fits(size) || (!validId && (data + size > declared || !certainGround(data + size)))) {
            walk.damaged = true;  // the frame is left out, and nothing after it can be found
            walk.found = walk.walked + validId;
            return walk;
        }
        walk.ambiguous = walk.ambiguous || bytes[4] || bytes[5] || bytes[6];
        walk.found = ++walk.walked;
        position = data + size;
        walk.end = position;
        if (!validId)
            continue;  // left out; the next frame stands where its size says

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
// sizes, as the version has them, and when that does not end cleanly in
// padding, also with plain ones and with each frame read as it fits; under
// the wrong reading a size soon lands inside another frame's text, where
// the walk meets junk, a zero byte or the end of the tag, or it lands in
// the padding over frames it skipped. So the reading that finds the most
// frames wins (a frame that runs past the tag counts when its id is
// valid: that reading found it where it stands), then the one that ends
// cleanly, then the one that reaches furthest.
Walk ChooseWalk(const Header& header, ByteSource& body, uint64_t position, uint64_t declared)
{
    if (header.major < 4)
        return WalkFrames(header.major, body, position, declared, SizeReading::EachFrame, false);
    Walk best = WalkFrames(header.major, body, position, declared, SizeReading::SyncSafe, false);
    if (best.refused || best.overLimit || (!best.damaged && !best.ambiguous))
        return best;  // every size under 128: both readings are the same
    best.clean = !best.damaged && body.ZeroFrom(best.end, declared);
    if (best.clean)
        return best;
    const auto better = [](const Walk& walk, const Walk& other) {
        if (walk.found != other.found)
            return walk.found > other.found;
        return walk.clean != other.clean ? walk.clean : walk.end > other.end;
    };
    for (const SizeReading reading : {SizeReading::Plain, SizeReading::EachFrame}) {
        Walk next = WalkFrames(header.major, body, position, declared, reading, true);
        if (next.refused || next.overLimit)
            return next;
        if (better(next, best))
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
    // One that runs past the tag leaves no frame to be found with certainty:
    // the tag then gives nothing, though the file may hold more.
    uint64_t position = 0;
    if (header.major >= 3 && (header.flags & extendedHeader) &&
        !SkipExtendedHeader(header, body, std::min<uint64_t>(body.Size(), declared), position)) {
        tag.readNothing = true;
        return S_OK;
    }

    const Walk walk = ChooseWalk(header, body, position, unsynchronised ? body.Size() : declared);
    if (walk.overLimit)
        return overLimit;
    if (walk.refused)
        return NS_E_INVALID_INPUT_FORMAT;
    // A damaged frame costs that frame and what cannot be found after it;
    // the frames before it are kept.
    tag.readNothing = walk.damaged && walk.walked == 0;
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
