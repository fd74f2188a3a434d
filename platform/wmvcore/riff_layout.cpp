// The bounds-checked walk of a RIFF file's chunks.
#include "riff_layout.h"

#include "tag_bytes.h"

#include <cstring>

namespace platform {
namespace {

const size_t riffHeaderSize = 12;  // "RIFF", the size, the form type
const size_t chunkHeaderSize = 8;  // the id, the little-endian size
// The chunks walked before giving up: real files have a handful, and a
// file of nothing but empty chunks should not cost a walk of millions.
const int mostChunks = 4096;

bool IsChunkId(const BYTE* id)
{
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E)
            return false;
    return true;
}

}  // namespace

bool StartsWithRiff(const std::vector<BYTE>& head)
{
    return head.size() >= riffHeaderSize && std::memcmp(head.data(), "RIFF", 4) == 0;
}

bool FindRiffId3Chunk(const MediaFile& file, uint64_t& dataStart)
{
    StoredSource chunks(file, 0, file.Size());
    BYTE header[chunkHeaderSize];
    uint64_t position = riffHeaderSize;
    for (int count = 0; count < mostChunks && chunks.Copy(position, chunkHeaderSize, header); ++count) {
        if (!IsChunkId(header))
            return false;
        const uint64_t size = uint64_t(header[4]) | uint64_t(header[5]) << 8 | uint64_t(header[6]) << 16 |
                              uint64_t(header[7]) << 24;
        const uint64_t data = position + chunkHeaderSize;
        if (size > file.Size() - data)
            return false;
        if (std::memcmp(header, "id3 ", 4) == 0 || std::memcmp(header, "ID3 ", 4) == 0) {
            dataStart = data;
            return true;
        }
        // A chunk of odd size is followed by a pad byte, which some writers
        // leave out: then the next chunk's id stands at once.
        position = data + size;
        BYTE next[4];
        if (size % 2 == 1 && !(chunks.Copy(position, 4, next) && IsChunkId(next)))
            ++position;
    }
    return false;
}

}  // namespace platform
