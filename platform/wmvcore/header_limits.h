// The editor's limits on one file, decided from the file's structure before
// TagLib reads anything: the header or tag bytes kept for TagLib, the number
// of attributes (ASF attribute records, ID3v2 frames) and the size of a
// single value kept in memory. Values left in the file (pictures and other
// binary data, read when a caller asks for them) count as attributes only.
// A file over them is refused with overLimit. Within them, the memory that
// reading the file can take is estimated from the same structure, and the
// editor makes sure that it can be had before TagLib starts.
#pragma once

#include "attribute_list.h"

#include <cstdint>

namespace platform {

// What Open answers for a file over a limit: the file may well be intact,
// so it is not called damaged (NS_E_INVALID_INPUT_FORMAT).
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), spelled out to be a constant.
constexpr HRESULT overLimit = static_cast<HRESULT>(0x80070000u | ERROR_FILE_TOO_LARGE);

// The ASF Header Object, or the ID3v2 tag with its header, as given to
// TagLib.
constexpr uint64_t largestHeader = 32u * 1024 * 1024;
// One attribute's value: an ASF record's value, an ID3v2 frame's data
// (decompressed, for a compressed frame).
constexpr uint64_t largestValue = 16u * 1024 * 1024;
// All values together, decompressed: within the header's own size, as
// values that are not compressed always are, so that compressed frames
// cannot multiply the memory that a tag takes.
constexpr uint64_t largestValues = largestHeader;

class HeaderBudget {
public:
    // Counts one attribute, or one entry of the header that TagLib builds an
    // object for, with `bytes` of value; `text`: its value is text, which
    // TagLib and the editor hold in several wider forms. False when the file
    // is over a limit.
    bool Add(uint64_t bytes, bool text);
    // Counts one attribute whose value stays in the file.
    bool AddLeftInFile() { return Add(0, false); }
    // The most memory that reading the file and serving its attributes can
    // take at once, in bytes.
    uint64_t MemoryEstimate() const { return estimate; }

private:
    size_t entries = 0;
    uint64_t valueBytes = 0;  // all values together
    uint64_t estimate = 4u * 1024 * 1024;  // TagLib's and the editor's fixed part
};

// Whether `bytes` of memory can be had now: the address space is reserved
// and given back at once, without touching the heap. False under a memory
// limit (ulimit -v, -d) that it would pass.
bool MemoryAvailable(uint64_t bytes);

// Admits one file's reading and the serving of its attributes when the
// memory they may take can be had together with what the files admitted
// before it and still open may take, and counts it among those until it is
// released (at Close). Files open on several threads thus never take
// together more than the limit leaves: the memory that one reading proved
// to be there cannot be taken by another before it is used, so that TagLib
// does not run out of memory in the middle of its work.
class ReadingAdmission {
public:
    ReadingAdmission() = default;
    ~ReadingAdmission() { Release(); }
    ReadingAdmission(const ReadingAdmission&) = delete;
    ReadingAdmission& operator=(const ReadingAdmission&) = delete;

    // False when the memory cannot be had now.
    bool Admit(uint64_t estimate);
    void Release();

private:
    uint64_t counted = 0;  // added to what the open files may take
};

}  // namespace platform
