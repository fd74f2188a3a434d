// Writing, reading and deleting values.
#include "advapi32/registry_buffers.h"
#include "advapi32/registry_call.h"
#include "advapi32/registry_schema.h"

#include <algorithm>

using namespace platform::registry;

namespace {

std::u16string_view ValueName(LPCWSTR name)
{
    return name ? std::u16string_view(name) : std::u16string_view();
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
{
    if (!lpData && cbData != 0)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view name = ValueName(lpValueName);
    if (name.size() > kMaxValueNameUnits)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegSetValueExW", true, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandle(db, hKey, &open, &key))
            return result;
        if (!(open.access & KEY_SET_VALUE) || key.readOnly || IsLeafRoot(key.id))
            return ERROR_ACCESS_DENIED;
        ValueRow value;
        value.name = std::u16string(name);
        value.type = dwType;
        if (cbData)
            value.data.assign(reinterpret_cast<const char*>(lpData), cbData);
        return StoreValue(db, key.id, value);
    });
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegQueryValueExW", false, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandleFor(db, hKey, KEY_QUERY_VALUE, &open, &key))
            return result;
        ValueRow value;
        if (LONG result = FindValue(db, key.id, ValueName(lpValueName), &value))
            return result;
        if (lpType)
            *lpType = value.type;
        return CopyValueData(value.data, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    return RunCall("RegDeleteValueW", true, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandle(db, hKey, &open, &key))
            return result;
        if (!(open.access & KEY_SET_VALUE) || key.readOnly)
            return ERROR_ACCESS_DENIED;
        return RemoveValue(db, key.id, ValueName(lpValueName));
    });
}

}  // extern "C"
