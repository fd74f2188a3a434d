// Names compare without regard to letter case, by the same folding as
// lstrcmpiW: ASCII and Latin-1 letters.
#include "advapi32/registry_names.h"

namespace platform::registry {

namespace {

char16_t FoldCase(char16_t unit)
{
    if ((unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7))
        return static_cast<char16_t>(unit - 0x20);
    return unit;
}

}  // namespace

std::string NameBytes(std::u16string_view name)
{
    std::string bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t unit : name) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::u16string NameFromBytes(const std::string& bytes)
{
    std::u16string name;
    name.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        name.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return name;
}

std::string FoldedBytes(std::u16string_view name)
{
    std::string bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t unit : name) {
        char16_t folded = FoldCase(unit);
        bytes.push_back(static_cast<char>(folded >> 8));
        bytes.push_back(static_cast<char>(folded & 0xFF));
    }
    return bytes;
}

}  // namespace platform::registry
