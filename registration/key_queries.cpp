// Recursive deletion of a key, and what a key holds.
#include "script_parser.h"

namespace trellan {

namespace {

// Subkey names are at most 255 units.
constexpr DWORD kSubkeyNameUnits = 256;

}  // namespace

LONG RecurseDeleteKey(KeyHolder& base, LPCWSTR name)
{
    KeyHolder key;
    LONG result = key.Open(base.Get(), name, KEY_READ | KEY_WRITE);
    if (result != ERROR_SUCCESS)
        return result;

    // Index 0 every time: each pass removes the subkey it found.
    WCHAR subkeyName[kSubkeyNameUnits];
    DWORD size = kSubkeyNameUnits;
    while (RegEnumKeyExW(key.Get(), 0, subkeyName, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        result = RecurseDeleteKey(key, subkeyName);
        if (result != ERROR_SUCCESS) {
            key.Close();
            return result;
        }
        size = kSubkeyNameUnits;
    }
    key.Close();
    return RegDeleteKeyW(base.Get(), name);
}

bool HasSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
    return result == ERROR_SUCCESS && subkeys != 0;
}

bool HasValues(HKEY key)
{
    DWORD values = 0;
    LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        return false;
    if (values != 1)
        return values != 0;
    // One value: it counts only when it is not the default value.
    WCHAR valueName[4096];
    DWORD size = 4096;
    result = RegEnumValueW(key, 0, valueName, &size, nullptr, nullptr, nullptr, nullptr);
    return result == ERROR_SUCCESS && valueName[0] != 0;
}

}  // namespace trellan
