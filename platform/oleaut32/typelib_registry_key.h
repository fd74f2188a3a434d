// An owned registry key and the few tree operations that type-library and
// component-category registration need.
#pragma once

#include <win32/advapi32.h>

#include <string>

namespace platform::registry {

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    // Opens or creates `path` under `parent` for reading and writing.
    LONG Create(HKEY parent, const std::u16string& path);
    LONG Open(HKEY parent, const std::u16string& path, REGSAM access);
    void Close();
    HKEY Get() const { return key; }

    // Writes a REG_SZ value ("" or null names the default value).
    LONG SetText(LPCWSTR valueName, const std::u16string& text);
    // Reads a REG_SZ value; false when it is missing or of another type.
    bool QueryText(LPCWSTR valueName, std::u16string& text) const;
    // True when the key has neither subkeys nor values.
    bool IsEmpty() const;

private:
    HKEY key = nullptr;
};

// Deletes `path` under `parent` with everything below it. ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND when it is not there, or the registry's error.
LONG DeleteTree(HKEY parent, const std::u16string& path);

// Deletes `path` under `parent` when it has neither subkeys nor values.
void DeleteIfEmpty(HKEY parent, const std::u16string& path);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::u16string GuidText(REFGUID guid);

}  // namespace platform::registry
