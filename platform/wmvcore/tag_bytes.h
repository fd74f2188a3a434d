// The bytes of a tag, read from the file as the walk asks for them rather
// than all at once, so that a tag that holds large pictures or objects
// costs only the bytes that are kept. A value that is not kept in memory
// is described by where its bytes lie in the file (StoredBytes) and read
// from there when a caller asks for it.
#pragma once

#include "media_file.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// A value left in the file: its stored bytes and its length once read.
struct StoredBytes {
    uint64_t offset = 0;          // of its first stored byte in the file
    uint64_t storedLength = 0;    // bytes in the file
    DWORD length = 0;             // bytes of the value; fewer than stored when unsynchronised
    bool unsynchronised = false;  // each 0xFF 0x00 in the file stands for 0xFF

    bool Empty() const { return length == 0; }
};

// Reads the value into `out`, which has room for its length. False when the
// file no longer holds it as it did at Open.
bool ReadStoredBytes(const MediaFile& file, const StoredBytes& stored, BYTE* out);

// Bytes of a tag by position.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // `length` bytes at `position` into `out`; false past the end or when
    // the file cannot be read.
    virtual bool Copy(uint64_t position, size_t length, BYTE* out) = 0;
    // Where the `length` bytes at `position` lie in the file; false past the
    // end.
    virtual bool Locate(uint64_t position, uint64_t length, StoredBytes& stored) = 0;

    bool Read(uint64_t position, size_t length, std::vector<BYTE>& out);
    // Whether every byte from `position` to `end` (at most the size) is zero
    // (padding).
    bool ZeroFrom(uint64_t position, uint64_t end);
};

// A stretch of the file as it is stored, read through a cache of one block,
// so that the small reads of a walk cost one system call a block.
class StoredSource final : public ByteSource {
public:
    // `blockEnd`: the cache's blocks end there unless they begin past it, so
    // that a stretch that reaches beyond what is usually read costs no more.
    StoredSource(const MediaFile& file, uint64_t start, uint64_t size, uint64_t blockEnd = UINT64_MAX);
    uint64_t Size() const override { return size; }
    bool Copy(uint64_t position, size_t length, BYTE* out) override;
    bool Locate(uint64_t position, uint64_t length, StoredBytes& stored) override;

private:
    const MediaFile& file;
    uint64_t start;
    uint64_t size;
    uint64_t blockEnd;
    std::vector<BYTE> block;
    uint64_t blockStart = 0;  // position of block[0]
};

// A stretch of the file with its unsynchronisation undone: ID3v2.2 and 2.3
// unsynchronise a whole tag, 2.4 single frames. Read front to back: a read
// before the cursor starts again from where the last read began, or from
// the beginning.
class ResynchronisedSource final : public ByteSource {
public:
    ResynchronisedSource(const MediaFile& file, uint64_t start, uint64_t storedSize);
    // Counts the bytes it holds; false when the file cannot be read.
    bool Measure();
    uint64_t Size() const override { return size; }
    bool Copy(uint64_t position, size_t length, BYTE* out) override;
    bool Locate(uint64_t position, uint64_t length, StoredBytes& stored) override;

private:
    bool MoveTo(uint64_t position);
    // Reads `count` bytes on from the cursor into `out` (or past them, when
    // null).
    bool Advance(uint64_t count, BYTE* out);

    struct Cursor {
        uint64_t position = 0;        // in resynchronised bytes
        uint64_t storedPosition = 0;  // in stored bytes
        bool afterFF = false;         // the last byte read was 0xFF: a 0x00 next is left out
    };

    StoredSource stored;
    uint64_t size = 0;
    Cursor cursor;
    Cursor lastStart;  // where the last read began
};

// `size` bytes of another source from `base`.
class SourceView final : public ByteSource {
public:
    SourceView(ByteSource& source, uint64_t base, uint64_t size) : source(source), base(base), size(size) {}
    uint64_t Size() const override { return size; }
    bool Copy(uint64_t position, size_t length, BYTE* out) override;
    bool Locate(uint64_t position, uint64_t length, StoredBytes& stored) override;

private:
    ByteSource& source;
    uint64_t base;
    uint64_t size;
};

}  // namespace platform
