// A media file opened for probing, read by position: a regular file opened
// by path, or a stream that the caller opened (held, and read with Seek and
// Read, whose reads may come short). What is held goes when the object
// does. The first 16 KiB and the last 4 KiB, where tags are, are each read
// once, at the first read in them: the walk's many small reads there cost
// no system call.
#pragma once

#include <win32/wmsdk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// What tells one version of a file from another: its device and file
// number, size, and its last write and change times to the nanosecond.
struct FileIdentity {
    uint64_t device = 0, number = 0, size = 0;
    int64_t modified = 0, changed = 0;  // nanoseconds
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` now; all zero when it cannot be had.
FileIdentity IdentityOf(const std::string& path);

class MediaFile {
public:
    MediaFile() = default;
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    // Opens `path` for reading without blocking. Only a regular file is
    // accepted: NS_E_FILE_NOT_FOUND when nothing is there,
    // E_ACCESSDENIED when it may not be read, NS_E_FILE_OPEN_FAILED for
    // a directory, a device, a pipe or any other failure.
    HRESULT Open(const std::string& path);
    // Reads through `stream`, which is held until Close. Its size is what
    // Stat reports (else where a seek to its end lands): NS_E_FILE_READ when
    // neither answers. Its identity is known only for the stand-in's own
    // stream over a file; it is all zero for any other.
    HRESULT Open(IStream* stream);

    // Closes the file, or lets the stream go; it may be opened again.
    void Close();
    bool IsOpen() const { return descriptor >= 0 || stream; }
    // A read failed, or the stream ended before the size it reported,
    // since the file was opened: what the walk made of it cannot be
    // trusted, and the file is not damaged for all that.
    bool ReadFailed() const { return readFailed; }

    uint64_t Size() const { return size; }
    // The identity of the file last opened, as it was when it was opened;
    // kept after Close.
    const FileIdentity& Identity() const { return identity; }

    // Reads exactly `length` bytes at `offset` into `bytes`; false when the
    // file holds fewer or the read fails.
    bool Read(uint64_t offset, size_t length, std::vector<BYTE>& bytes) const;
    // The same into `out`, which has room for `length` bytes.
    bool ReadInto(uint64_t offset, size_t length, BYTE* out) const;

private:
    // The cached bytes that hold [offset, offset + length), or null.
    const BYTE* Cached(uint64_t offset, size_t length) const;
    bool ReadFromFile(uint64_t offset, size_t length, BYTE* out) const;

    bool ReadFromStream(uint64_t offset, size_t length, BYTE* out) const;

    int descriptor = -1;
    IStream* stream = nullptr;  // one reference, while open
    uint64_t size = 0;
    mutable bool readFailed = false;
    FileIdentity identity;
    // The cached bytes, not cleared before they are read.
    struct Cache {
        std::unique_ptr<BYTE[]> bytes;
        size_t length = 0;
    };
    mutable Cache head;  // from offset 0, once read
    mutable Cache tail;  // to the end, once read
};

}  // namespace platform
