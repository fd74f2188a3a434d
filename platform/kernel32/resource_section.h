// Finding a named section in an ELF file image held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::resources {

struct ByteRange {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

enum class SectionSearch {
    found,
    notElf,     // no ELF identification, or a class or byte order not read here
    damaged,    // the section headers or their names lie outside the file
    missing,    // a well-formed file without that section
};

// Looks up the section `name` in the ELF64 or ELF32 little-endian image
// `file` of `size` bytes. Every offset and size read from the image is
// bounded against `size` before it is used.
SectionSearch FindElfSection(const uint8_t* file, size_t size, const char* name, ByteRange& section);

}  // namespace platform::resources
