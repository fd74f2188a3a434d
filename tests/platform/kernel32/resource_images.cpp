#include "resource_images.h"

#include <elf.h>

#include <cstring>

namespace trellan::test {
namespace {

template <typename Value>
void Put(std::vector<BYTE>& bytes, Value value)
{
    const BYTE* raw = reinterpret_cast<const BYTE*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

void PutId(std::vector<BYTE>& bytes, const ResId& id)
{
    if (!id.isText) {
        Put<WORD>(bytes, 0xFFFF);
        Put<WORD>(bytes, id.number);
        return;
    }
    for (char16_t unit : id.text)
        Put<char16_t>(bytes, unit);
    Put<char16_t>(bytes, 0);
}

void Pad(std::vector<BYTE>& bytes)
{
    while (bytes.size() % 4)
        bytes.push_back(0);
}

template <typename Ehdr, typename Shdr>
std::vector<BYTE> Elf(const std::vector<BYTE>& content, const std::string& sectionName, BYTE elfClass)
{
    std::string names = std::string(1, '\0') + ".shstrtab" + '\0' + sectionName + '\0';
    const size_t namesOffset = sizeof(Ehdr);
    const size_t contentOffset = namesOffset + names.size();
    const size_t tableOffset = (contentOffset + content.size() + 7) & ~size_t(7);
    Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = elfClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof(Ehdr);
    header.e_shoff = tableOffset;
    header.e_shentsize = sizeof(Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 1;
    Shdr sections[3] = {};
    sections[1].sh_name = 1;
    sections[1].sh_type = SHT_STRTAB;
    sections[1].sh_offset = namesOffset;
    sections[1].sh_size = names.size();
    sections[2].sh_name = 11;
    sections[2].sh_type = SHT_PROGBITS;
    sections[2].sh_flags = SHF_ALLOC;
    sections[2].sh_offset = contentOffset;
    sections[2].sh_size = content.size();
    std::vector<BYTE> bytes;
    Put(bytes, header);
    bytes.insert(bytes.end(), names.begin(), names.end());
    bytes.insert(bytes.end(), content.begin(), content.end());
    bytes.resize(tableOffset, 0);
    for (const Shdr& section : sections)
        Put(bytes, section);
    return bytes;
}

}  // namespace

ResFile::ResFile()
{
    Entry(ResId(WORD(0)), ResId(WORD(0)), 0, "");
}

ResFile& ResFile::Add(ResId type, ResId name, WORD language, const std::string& data)
{
    Entry(type, name, language, data);
    return *this;
}

void ResFile::Entry(const ResId& type, const ResId& name, WORD language, const std::string& data)
{
    std::vector<BYTE> header;
    PutId(header, type);
    PutId(header, name);
    Pad(header);
    Put<DWORD>(header, 0);         // data version
    Put<WORD>(header, 0x1030);     // memory flags
    Put<WORD>(header, language);
    Put<DWORD>(header, 0);         // version
    Put<DWORD>(header, 0);         // characteristics
    Put<DWORD>(bytes, static_cast<DWORD>(data.size()));
    Put<DWORD>(bytes, static_cast<DWORD>(header.size() + 8));
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    Pad(bytes);
}

std::vector<BYTE> MakeElf(bool sixtyFourBit, const std::vector<BYTE>& content, const std::string& sectionName)
{
    return sixtyFourBit ? Elf<Elf64_Ehdr, Elf64_Shdr>(content, sectionName, ELFCLASS64)
                        : Elf<Elf32_Ehdr, Elf32_Shdr>(content, sectionName, ELFCLASS32);
}

}  // namespace trellan::test
