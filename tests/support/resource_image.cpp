#include "support/resource_image.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace trellan::test {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((value >> (8 * i)) & 0xFF);
}

void Put64(std::vector<uint8_t>& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back((value >> (8 * i)) & 0xFF);
}

void Align4(std::vector<uint8_t>& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

void PutId(std::vector<uint8_t>& out, const ResourceId& id)
{
    if (id.name.empty()) {
        Put16(out, 0xFFFF);
        Put16(out, id.id);
        return;
    }
    for (char16_t unit : id.name)
        Put16(out, unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit);
    Put16(out, 0);
}

void PutEntry(std::vector<uint8_t>& out, const ResourceEntry& entry)
{
    std::vector<uint8_t> header;
    PutId(header, entry.type);
    PutId(header, entry.name);
    Align4(header);
    Put32(header, 0);                  // data version
    Put16(header, 0x1030);             // memory flags
    Put16(header, entry.language);
    Put32(header, 0);                  // version
    Put32(header, 0);                  // characteristics
    Put32(out, static_cast<uint32_t>(entry.data.size()));
    Put32(out, static_cast<uint32_t>(header.size() + 8));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), entry.data.begin(), entry.data.end());
    Align4(out);
}

}  // namespace

std::vector<uint8_t> BuildResourceFile(const std::vector<ResourceEntry>& entries)
{
    std::vector<uint8_t> out;
    PutEntry(out, ResourceEntry{ResourceId(uint16_t(0)), ResourceId(uint16_t(0)), {}, 0});
    for (const ResourceEntry& entry : entries)
        PutEntry(out, entry);
    return out;
}

std::vector<uint8_t> BuildElfWithResources(const std::vector<uint8_t>& res)
{
    // Layout: ELF header, section names, the .rsrc bytes, section headers.
    const std::string names = std::string("\0.rsrc\0.shstrtab\0", 17);
    const uint64_t namesOffset = 64;
    const uint64_t rsrcOffset = (namesOffset + names.size() + 15) & ~uint64_t(15);
    const uint64_t headersOffset = (rsrcOffset + res.size() + 7) & ~uint64_t(7);

    std::vector<uint8_t> out;
    const uint8_t ident[16] = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    out.insert(out.end(), ident, ident + 16);
    Put16(out, 3);      // ET_DYN
    Put16(out, 62);     // EM_X86_64
    Put32(out, 1);      // EV_CURRENT
    Put64(out, 0);      // entry
    Put64(out, 0);      // program headers: none
    Put64(out, headersOffset);
    Put32(out, 0);      // flags
    Put16(out, 64);     // header size
    Put16(out, 56);     // program header size
    Put16(out, 0);      // program header count
    Put16(out, 64);     // section header size
    Put16(out, 3);      // section count
    Put16(out, 2);      // names section index
    out.insert(out.end(), names.begin(), names.end());
    out.resize(rsrcOffset, 0);
    out.insert(out.end(), res.begin(), res.end());
    out.resize(headersOffset, 0);

    auto section = [&](uint32_t name, uint32_t type, uint64_t flags, uint64_t offset, uint64_t size) {
        Put32(out, name);
        Put32(out, type);
        Put64(out, flags);
        Put64(out, 0);  // address
        Put64(out, offset);
        Put64(out, size);
        Put32(out, 0);  // link
        Put32(out, 0);  // info
        Put64(out, 1);  // alignment
        Put64(out, 0);  // entry size
    };
    section(0, 0, 0, 0, 0);
    section(1, 1 /* SHT_PROGBITS */, 2 /* SHF_ALLOC */, rsrcOffset, res.size());
    section(7, 3 /* SHT_STRTAB */, 0, namesOffset, names.size());
    return out;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace trellan::test
