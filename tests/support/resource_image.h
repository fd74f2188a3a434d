// Builds files with resources for tests: the compiled resource format
// (.res) and an ELF file that carries it as its ".rsrc" section, as the
// module does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trellan::test {

// A type or name: an integer id, or a string (stored in upper case).
struct ResourceId {
    ResourceId(uint16_t id) : id(id) {}
    ResourceId(const char16_t* name) : name(name) {}
    uint16_t id = 0;
    std::u16string name;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    std::vector<uint8_t> data;
    uint16_t language = 0x0409;
};

std::vector<uint8_t> BuildResourceFile(const std::vector<ResourceEntry>& entries);

// A minimal ELF64 file with a ".rsrc" section holding `res` (and nothing
// else to run).
std::vector<uint8_t> BuildElfWithResources(const std::vector<uint8_t>& res);

std::vector<uint8_t> Bytes(const std::string& text);
void WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace trellan::test
