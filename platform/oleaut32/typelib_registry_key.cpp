// Registry helpers of type-library and component-category registration.
#include "typelib_registry_key.h"

#include <vector>

namespace platform::registry {

LONG RegistryKey::Create(HKEY parent, const std::u16string& path)
{
    Close();
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                           nullptr);
}

LONG RegistryKey::Open(HKEY parent, const std::u16string& path, REGSAM access)
{
    Close();
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key);
}

void RegistryKey::Close()
{
    if (key) {
        RegCloseKey(key);
        key = nullptr;
    }
}

LONG RegistryKey::SetText(LPCWSTR valueName, const std::u16string& text)
{
    return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

bool RegistryKey::QueryText(LPCWSTR valueName, std::u16string& text) const
{
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1, 0);
    bytes = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
        ERROR_SUCCESS)
        return false;
    buffer.back() = 0;
    text = buffer.data();
    return true;
}

bool RegistryKey::IsEmpty() const
{
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys == 0 && values == 0;
}

LONG DeleteTree(HKEY parent, const std::u16string& path)
{
    RegistryKey key;
    LONG result = key.Open(parent, path, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS)
        return result;
    // Always the first subkey: each pass removes it.
    for (;;) {
        WCHAR name[256];
        DWORD length = sizeof name / sizeof name[0];
        result = RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return result;
        result = DeleteTree(key.Get(), name);
        if (result != ERROR_SUCCESS)
            return result;
    }
    key.Close();
    return RegDeleteKeyW(parent, path.c_str());
}

void DeleteIfEmpty(HKEY parent, const std::u16string& path)
{
    RegistryKey key;
    if (key.Open(parent, path, KEY_READ) != ERROR_SUCCESS || !key.IsEmpty())
        return;
    key.Close();
    RegDeleteKeyW(parent, path.c_str());
}

std::u16string GuidText(REFGUID guid)
{
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace platform::registry
