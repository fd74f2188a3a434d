// The ID3v1 trailer check and the MPEG frame-header chain; the ID3v2 tag
// is read by id3v2_layout.cpp, the APE tag by ape_layout.cpp.
#include "mpeg_probe.h"

#include "riff_layout.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

const size_t id3v1Size = 128;
// The ID3v1 fields that can become attributes: title, artist, album, year,
// comment, genre, track.
const int id3v1Fields = 7;
// Where the first MPEG frame may start in a file without an ID3v2 tag.
const size_t frameSearchWindow = 64 * 1024;
// Frames that must follow each other before the data counts as MPEG audio.
const int framesRequired = 3;
// The frames are looked for a block at a time.
const size_t searchBlock = 1024;
// A RIFF chunk's id and size.
const uint64_t chunkHeaderSize = 8;

// ID3v1: "TAG", then title, artist and album (30 bytes each) and the year
// (4 bytes) as Latin-1 text padded with NULs or spaces.
bool IsId3v1Tag(const std::vector<BYTE>& bytes)
{
    if (bytes.size() != id3v1Size || bytes[0] != 'T' || bytes[1] != 'A' || bytes[2] != 'G')
        return false;
    for (size_t i = 3; i < 3 + 30 * 3 + 4; ++i)
        if (bytes[i] != 0 && bytes[i] < 0x20)
            return false;
    return true;
}

// Bit rates in kbit/s by bit-rate index: MPEG-1 layers I, II, III, then
// MPEG-2/2.5 layer I and layers II/III. Index 0 (free format) and 15 are
// not accepted.
const int bitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

// Sample rates in Hz by sample-rate index: MPEG-1, MPEG-2, MPEG-2.5.
const int sampleRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

struct FrameHeader {
    int version;  // 1, 2 or 25 (MPEG-2.5)
    int layer;    // 1 to 3
    int sampleRate;
    size_t length;  // of the whole frame, header included
};

bool ParseFrameHeader(const BYTE* bytes, FrameHeader& header)
{
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitRateIndex = bytes[2] >> 4;
    const int sampleRateIndex = (bytes[2] >> 2) & 3;
    const int padding = (bytes[2] >> 1) & 1;
    if (versionBits == 1 || layerBits == 0 || sampleRateIndex == 3 || (bytes[3] & 3) == 2)
        return false;

    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.layer = 4 - layerBits;
    const int rateRow = header.version == 1 ? header.layer - 1 : (header.layer == 1 ? 3 : 4);
    const int bitRate = bitRates[rateRow][bitRateIndex] * 1000;
    if (bitRate == 0)
        return false;
    header.sampleRate = sampleRates[header.version == 1 ? 0 : header.version == 2 ? 1 : 2][sampleRateIndex];

    if (header.layer == 1)
        header.length = (12 * bitRate / header.sampleRate + padding) * 4;
    else if (header.layer == 3 && header.version != 1)
        header.length = 72 * bitRate / header.sampleRate + padding;
    else
        header.length = 144 * bitRate / header.sampleRate + padding;
    return header.length >= 4;
}

// From `start`, whose header `first` is, frames of one kind follow each
// other: framesRequired of them, or fewer that end exactly where the audio
// ends. The headers after the first are read from the file.
bool FrameChainAt(const MediaFile& file, uint64_t start, const FrameHeader& first, uint64_t audioEnd)
{
    uint64_t position = start + first.length;
    for (int count = 1; count < framesRequired; ++count) {
        if (position == audioEnd)
            return true;
        BYTE bytes[4];
        FrameHeader header{};
        if (position > audioEnd || audioEnd - position < 4 || !file.ReadInto(position, 4, bytes) ||
            !ParseFrameHeader(bytes, header) || header.version != first.version || header.layer != first.layer ||
            header.sampleRate != first.sampleRate)
            return false;
        position += header.length;
    }
    return position <= audioEnd;
}

// Finds the first run of frames that starts within frameSearchWindow of
// `from` and ends by `audioEnd`, reading the file a block at a time: audio
// mostly starts at once.
bool FindFrameChain(const MediaFile& file, uint64_t from, uint64_t audioEnd, uint64_t& found)
{
    std::vector<BYTE> bytes;
    for (size_t offset = 0; offset < frameSearchWindow && from + offset < audioEnd; offset += searchBlock) {
        const uint64_t blockStart = from + offset;
        // The block, and the first three bytes of the next for a header that starts at its end.
        if (!file.Read(blockStart, static_cast<size_t>(std::min<uint64_t>(audioEnd - blockStart, searchBlock + 3)), bytes))
            return false;
        for (size_t start = 0; start < searchBlock && start + 4 <= bytes.size(); ++start) {
            FrameHeader first{};
            if (ParseFrameHeader(&bytes[start], first) && FrameChainAt(file, blockStart + start, first, audioEnd)) {
                found = blockStart + start;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

HRESULT ProbeMpegFile(const MediaFile& file, MpegProbe& probe)
{
    probe = MpegProbe{};

    std::vector<BYTE> bytes;
    bool hasId3v2 = false;
    uint64_t chunk = 0;
    if (file.Read(0, 3, bytes) && StartsWithId3v2(bytes)) {
        const HRESULT result = ReadId3v2Tag(file, 0, probe.id3v2, probe.budget);
        if (FAILED(result))
            return result;
        hasId3v2 = true;
    } else if (file.Read(0, 12, bytes) && StartsWithRiff(bytes) && FindRiffId3Chunk(file, chunk)) {
        // MPEG audio in a RIFF file, tagged in a chunk. A tag there that
        // cannot be read is passed over: the file may still hold others.
        const HRESULT result = ReadId3v2Tag(file, chunk, probe.id3v2, probe.budget);
        if (result == overLimit)
            return result;
        hasId3v2 = SUCCEEDED(result);
        if (!hasId3v2) {
            probe.id3v2 = Id3v2Tag{};
            probe.budget = HeaderBudget{};
        }
    }
    const uint64_t id3v2End = probe.id3v2.end;

    // An ID3v1 tag follows everything else, the ID3v2 tag included; an APE
    // tag and a Lyrics3 tag come before it.
    uint64_t audioEnd = file.Size();
    if (file.Size() >= id3v2End + id3v1Size && file.Read(file.Size() - id3v1Size, id3v1Size, bytes) && IsId3v1Tag(bytes)) {
        probe.id3v1 = bytes;
        for (int field = 0; field < id3v1Fields; ++field)
            probe.budget.Add(30, true);
        audioEnd -= id3v1Size;
    }
    const HRESULT ape = ReadApeTag(file, audioEnd, id3v2End, probe.ape, probe.budget);
    if (FAILED(ape))
        return ape;
    audioEnd = probe.ape.start;

    // The audio: after an ID3v2 tag that starts the file; in a RIFF file from
    // its start, or else after its tag, and then not into a tag chunk that
    // follows it.
    const bool tagChunk = chunk != 0;
    const uint64_t searchFrom = hasId3v2 && !tagChunk ? id3v2End : 0;
    probe.hasFrames = FindFrameChain(file, searchFrom, audioEnd, probe.audioStart) ||
                      (tagChunk && hasId3v2 && FindFrameChain(file, id3v2End, audioEnd, probe.audioStart));
    if (probe.hasFrames) {
        probe.audioEnd = tagChunk && chunk > probe.audioStart ? std::min(audioEnd, chunk - chunkHeaderSize) : audioEnd;
        // Its play length is one attribute more, when there is room for it.
        probe.measureAudio = probe.budget.Add(sizeof(QWORD), false);
    }
    // Refused only when nothing in it can be read: an ID3v2 tag whose first
    // frame is damaged gives nothing, and the file is then read for its other
    // tags and its audio.
    const bool readableId3v2 = hasId3v2 && !probe.id3v2.readNothing;
    return readableId3v2 || !probe.id3v1.empty() || !probe.ape.rebuilt.empty() || probe.hasFrames
               ? S_OK
               : NS_E_INVALID_INPUT_FORMAT;
}

}  // namespace platform
