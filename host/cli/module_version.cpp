// The version read from the module loaded as a data file, so that none of
// its code runs. The Linux stand-in has no version library, so the fixed
// part of VS_VERSION_INFO is found by its signature on a 32-bit boundary,
// and its file version read as little-endian words.
#include "cli/module_version.h"

#include "system/module_handle.h"

#include <cstdint>
#include <cstring>

namespace host {
namespace {

constexpr uint32_t fixedInfoSignature = 0xFEEF04BD;

uint32_t ReadDword(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

}  // namespace

bool ReadModuleVersion(const std::u16string& modulePath, std::string& version)
{
    ModuleHandle module(
        LoadLibraryExW(reinterpret_cast<LPCWSTR>(modulePath.c_str()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.Get())
        return false;
    HRSRC resource = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_VERSION);
    HGLOBAL loaded = resource ? LoadResource(module.Get(), resource) : nullptr;
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    const DWORD size = resource ? SizeofResource(module.Get(), resource) : 0;
    if (!bytes)
        return false;
    // VS_FIXEDFILEINFO follows the block's key on a 32-bit boundary: its
    // signature, its structure version, then the file version (MS, LS).
    for (DWORD offset = 0; offset + 16 <= size; offset += 4) {
        if (ReadDword(bytes + offset) != fixedInfoSignature)
            continue;
        const uint32_t high = ReadDword(bytes + offset + 8);
        const uint32_t low = ReadDword(bytes + offset + 12);
        version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                  std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
        return true;
    }
    return false;
}

}  // namespace host
