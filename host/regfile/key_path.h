// Registry paths as the .reg format and the CLI write them:
// "HKEY_CLASSES_ROOT\CLSID\{...}", with the short root names accepted too.
#pragma once

#include "winapi.h"

#include <string>
#include <string_view>

namespace host {

struct RegistryRoot {
    const char16_t* name;       // "HKEY_CLASSES_ROOT"
    const char16_t* shortName;  // "HKCR"
    HKEY key;
};

// The roots an export of the whole registry walks, in order.
const RegistryRoot* ExportedRoots(size_t* count);

struct RegistryPath {
    const RegistryRoot* root = nullptr;
    std::u16string subKey;  // may be empty: the root itself
};

// False when the text does not begin with a root's name.
bool ParseRegistryPath(std::u16string_view text, RegistryPath* path);

// The full path: the root's long name, then the subkey.
std::u16string FullPath(const RegistryPath& path);

// Text of a registry error code: "ERROR_ACCESS_DENIED (5)".
std::string RegistryErrorName(LONG error);

// UTF-16 text for the registry calls and back.
inline LPCWSTR Wide(const std::u16string& text)
{
    return reinterpret_cast<LPCWSTR>(text.c_str());
}
inline std::u16string FromWide(LPCWSTR text, size_t units)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}

}  // namespace host
