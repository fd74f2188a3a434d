// Reading a tag's bytes from the file by position, as stored or with its
// unsynchronisation undone, and reading a value left in the file.
#include "tag_bytes.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// The cache of a stored stretch, and the piece in which a value left in the
// file is read.
constexpr size_t blockSize = 64 * 1024;

// Copies stored bytes to `out` (or only counts them, when `out` is null),
// leaving out the 0x00 after each 0xFF, until `room` bytes are given or the
// `count` stored bytes are used up. Answers the bytes given; `used` gets
// the stored bytes used. A 0x00 after a last 0xFF given is not used: it
// goes with what follows.
size_t Resynchronise(const BYTE* in, size_t count, BYTE* out, uint64_t room, size_t& used, bool& afterFF)
{
    size_t given = 0;
    size_t i = 0;
    for (; i < count; ++i) {
        if (given == room)
            break;
        const BYTE byte = in[i];
        if (afterFF && byte == 0) {
            afterFF = false;
            continue;
        }
        if (out)
            out[given] = byte;
        ++given;
        afterFF = byte == 0xFF;
    }
    used = i;
    return given;
}

}  // namespace

bool ReadStoredBytes(const MediaFile& file, const StoredBytes& stored, BYTE* out)
{
    if (!stored.unsynchronised)
        return stored.storedLength == stored.length && file.ReadInto(stored.offset, stored.length, out);
    std::vector<BYTE> piece;
    uint64_t read = 0;
    size_t given = 0;
    bool afterFF = false;
    while (given < stored.length && read < stored.storedLength) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(blockSize, stored.storedLength - read));
        if (!file.Read(stored.offset + read, length, piece))
            return false;
        size_t used = 0;
        given += Resynchronise(piece.data(), length, out + given, stored.length - given, used, afterFF);
        read += used;
    }
    return given == stored.length;
}

bool ByteSource::Read(uint64_t position, size_t length, std::vector<BYTE>& out)
{
    out.resize(length);
    if (Copy(position, length, out.data()))
        return true;
    out.clear();
    return false;
}

bool ByteSource::ZeroFrom(uint64_t position, uint64_t end)
{
    BYTE piece[4096];
    end = std::min(end, Size());
    while (position < end) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof piece, end - position));
        if (!Copy(position, length, piece))
            return false;
        if (std::any_of(piece, piece + length, [](BYTE byte) { return byte != 0; }))
            return false;
        position += length;
    }
    return true;
}

StoredSource::StoredSource(const MediaFile& file, uint64_t start, uint64_t size, uint64_t blockEnd)
    : file(file), start(start), size(size), blockEnd(blockEnd)
{
}

bool StoredSource::Copy(uint64_t position, size_t length, BYTE* out)
{
    if (position > size || length > size - position)
        return false;
    if (length >= blockSize)
        return file.ReadInto(start + position, length, out);
    while (length > 0) {
        if (position < blockStart || position >= blockStart + block.size()) {
            blockStart = position;
            const uint64_t end = position < blockEnd ? std::min(blockEnd, size) : size;
            if (!file.Read(start + position, static_cast<size_t>(std::min<uint64_t>(blockSize, end - position)), block)) {
                block.clear();
                return false;
            }
        }
        const size_t offset = static_cast<size_t>(position - blockStart);
        const size_t piece = std::min(length, block.size() - offset);
        std::memcpy(out, block.data() + offset, piece);
        out += piece;
        position += piece;
        length -= piece;
    }
    return true;
}

bool StoredSource::Locate(uint64_t position, uint64_t length, StoredBytes& stored)
{
    if (position > size || length > size - position || length > 0xFFFFFFFFu)
        return false;
    stored = {start + position, length, static_cast<DWORD>(length), false};
    return true;
}

ResynchronisedSource::ResynchronisedSource(const MediaFile& file, uint64_t start, uint64_t storedSize)
    : stored(file, start, storedSize)
{
}

bool ResynchronisedSource::Measure()
{
    size = UINT64_MAX;
    cursor = lastStart = Cursor{};
    // Everything up to the end of the stored bytes: the count comes out as
    // the position reached.
    BYTE piece[4096];
    while (cursor.storedPosition < stored.Size()) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof piece, stored.Size() - cursor.storedPosition));
        if (!stored.Copy(cursor.storedPosition, length, piece))
            return false;
        size_t used = 0;
        cursor.position += Resynchronise(piece, length, nullptr, UINT64_MAX, used, cursor.afterFF);
        cursor.storedPosition += used;
    }
    size = cursor.position;
    cursor = Cursor{};
    return true;
}

bool ResynchronisedSource::MoveTo(uint64_t target)
{
    if (target < cursor.position)
        cursor = lastStart.position <= target ? lastStart : Cursor{};
    if (!Advance(target - cursor.position, nullptr))
        return false;
    lastStart = cursor;
    return true;
}

bool ResynchronisedSource::Advance(uint64_t count, BYTE* out)
{
    BYTE piece[4096];
    while (count > 0) {
        if (cursor.storedPosition >= stored.Size())
            return false;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof piece, stored.Size() - cursor.storedPosition));
        if (!stored.Copy(cursor.storedPosition, length, piece))
            return false;
        size_t used = 0;
        const size_t given = Resynchronise(piece, length, out, count, used, cursor.afterFF);
        cursor.storedPosition += used;
        cursor.position += given;
        count -= given;
        if (out)
            out += given;
    }
    return true;
}

bool ResynchronisedSource::Copy(uint64_t at, size_t length, BYTE* out)
{
    return at <= size && length <= size - at && MoveTo(at) && Advance(length, out);
}

bool ResynchronisedSource::Locate(uint64_t at, uint64_t length, StoredBytes& out)
{
    if (at > size || length > size - at || length > 0xFFFFFFFFu || !MoveTo(at))
        return false;
    // A 0x00 that goes with a 0xFF before the value is not part of it.
    if (cursor.afterFF) {
        BYTE next = 0;
        if (cursor.storedPosition < stored.Size() && stored.Copy(cursor.storedPosition, 1, &next) && next == 0)
            ++cursor.storedPosition;
        cursor.afterFF = false;
    }
    const uint64_t first = cursor.storedPosition;
    if (!Advance(length, nullptr))
        return false;
    StoredBytes located;
    if (!stored.Locate(first, cursor.storedPosition - first, located))
        return false;
    out = {located.offset, located.storedLength, static_cast<DWORD>(length), true};
    return true;
}

bool SourceView::Copy(uint64_t position, size_t length, BYTE* out)
{
    return position <= size && length <= size - position && source.Copy(base + position, length, out);
}

bool SourceView::Locate(uint64_t position, uint64_t length, StoredBytes& stored)
{
    return position <= size && length <= size - position && source.Locate(base + position, length, stored);
}

}  // namespace platform
