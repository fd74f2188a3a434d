// Enumerating subkeys and values, and the counts of a key.
#include "advapi32/registry_buffers.h"
#include "advapi32/registry_call.h"

using namespace platform::registry;

namespace {

void FillFileTime(int64_t ticks, FILETIME* time)
{
    if (!time)
        return;
    time->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    time->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

// Keys carry no class text: an empty one is reported.
void EmptyClass(LPWSTR text, LPDWORD units)
{
    if (!units)
        return;
    if (text && *units > 0)
        text[0] = 0;
    *units = 0;
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegEnumKeyExW", false, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandleFor(db, hKey, KEY_ENUMERATE_SUB_KEYS, &open, &key))
            return result;
        std::u16string name;
        int64_t written = 0;
        if (LONG result = ChildAt(db, key.id, dwIndex, &name, &written))
            return result;
        if (LONG result = CopyName(name, lpName, lpcchName))
            return result;
        EmptyClass(lpClass, lpcchClass);
        FillFileTime(written, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegEnumValueW", false, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandleFor(db, hKey, KEY_QUERY_VALUE, &open, &key))
            return result;
        ValueRow value;
        if (LONG result = ValueAt(db, key.id, dwIndex, &value))
            return result;
        if (LONG result = CopyName(value.name, lpValueName, lpcchValueName))
            return result;
        if (lpType)
            *lpType = value.type;
        return CopyValueData(value.data, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime)
{
    if (lpReserved)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegQueryInfoKeyW", false, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveHandleFor(db, hKey, KEY_QUERY_VALUE, &open, &key))
            return result;
        KeyCounts counts;
        if (LONG result = CountChildren(db, key.id, &counts))
            return result;
        EmptyClass(lpClass, lpcchClass);
        if (lpcSubKeys)
            *lpcSubKeys = counts.subkeys;
        if (lpcbMaxSubKeyLen)
            *lpcbMaxSubKeyLen = counts.longestSubkeyName;
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = counts.values;
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = counts.longestValueName;
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = counts.largestValueData;
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        FillFileTime(key.written, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

}  // extern "C"
