// Section lookup in ELF images, for the resource section of modules loaded
// as data files. Fields are copied out with memcpy: the image may sit at any
// alignment.
#include "resource_section.h"

#include <elf.h>

#include <cstring>

namespace platform::resources {
namespace {

// The fields of the file header and of a section header that the lookup
// needs, the same for both classes.
struct FileHeader {
    uint64_t sectionTable = 0;
    uint64_t entrySize = 0;
    uint64_t count = 0;
    uint64_t namesIndex = 0;
};

struct SectionHeader {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
};

template <typename Value>
Value ReadAt(const uint8_t* file, size_t offset)
{
    Value value;
    std::memcpy(&value, file + offset, sizeof value);
    return value;
}

// True when [offset, offset + length) lies inside a file of `size` bytes.
bool Fits(uint64_t offset, uint64_t length, size_t size)
{
    return offset <= size && length <= size - offset;
}

template <typename Ehdr, typename Shdr>
bool ReadLayout(const uint8_t* file, size_t size, FileHeader& header)
{
    if (size < sizeof(Ehdr))
        return false;
    auto raw = ReadAt<Ehdr>(file, 0);
    header.sectionTable = raw.e_shoff;
    header.entrySize = raw.e_shentsize;
    header.count = raw.e_shnum;
    header.namesIndex = raw.e_shstrndx;
    if (header.sectionTable == 0 || header.entrySize < sizeof(Shdr))
        return false;
    if (!Fits(header.sectionTable, header.entrySize, size))
        return false;
    // Many sections: the real count and names index live in section 0.
    auto first = ReadAt<Shdr>(file, header.sectionTable);
    if (header.count == 0)
        header.count = first.sh_size;
    if (header.namesIndex == SHN_XINDEX)
        header.namesIndex = first.sh_link;
    if (header.count == 0 || header.count > size / header.entrySize)
        return false;
    return Fits(header.sectionTable, header.count * header.entrySize, size) && header.namesIndex < header.count;
}

template <typename Shdr>
SectionHeader ReadSection(const uint8_t* file, const FileHeader& header, uint64_t index)
{
    auto raw = ReadAt<Shdr>(file, header.sectionTable + index * header.entrySize);
    return {raw.sh_name, raw.sh_type, raw.sh_offset, raw.sh_size, raw.sh_link};
}

template <typename Ehdr, typename Shdr>
SectionSearch Search(const uint8_t* file, size_t size, const char* name, ByteRange& section)
{
    FileHeader header;
    if (!ReadLayout<Ehdr, Shdr>(file, size, header))
        return SectionSearch::damaged;
    SectionHeader names = ReadSection<Shdr>(file, header, header.namesIndex);
    if (names.type == SHT_NOBITS || !Fits(names.offset, names.size, size))
        return SectionSearch::damaged;
    const size_t nameLength = std::strlen(name);
    for (uint64_t index = 0; index < header.count; ++index) {
        SectionHeader candidate = ReadSection<Shdr>(file, header, index);
        // The name with its NUL must lie inside the names section.
        if (candidate.name >= names.size || names.size - candidate.name < nameLength + 1)
            continue;
        const uint8_t* text = file + names.offset + candidate.name;
        if (std::memcmp(text, name, nameLength) != 0 || text[nameLength] != 0)
            continue;
        if (candidate.type == SHT_NOBITS || !Fits(candidate.offset, candidate.size, size))
            return SectionSearch::damaged;
        section.data = file + candidate.offset;
        section.size = static_cast<size_t>(candidate.size);
        return SectionSearch::found;
    }
    return SectionSearch::missing;
}

}  // namespace

SectionSearch FindElfSection(const uint8_t* file, size_t size, const char* name, ByteRange& section)
{
    section = {};
    if (!file || size < EI_NIDENT || std::memcmp(file, ELFMAG, SELFMAG) != 0)
        return SectionSearch::notElf;
    if (file[EI_DATA] != ELFDATA2LSB)
        return SectionSearch::notElf;
    switch (file[EI_CLASS]) {
    case ELFCLASS64:
        return Search<Elf64_Ehdr, Elf64_Shdr>(file, size, name, section);
    case ELFCLASS32:
        return Search<Elf32_Ehdr, Elf32_Shdr>(file, size, name, section);
    default:
        return SectionSearch::notElf;
    }
}

}  // namespace platform::resources
