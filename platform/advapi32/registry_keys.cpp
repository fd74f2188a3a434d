// Opening, creating, closing and deleting keys.
#include "advapi32/registry_call.h"
#include "advapi32/registry_schema.h"

using namespace platform::registry;

namespace {

bool WantsWrite(REGSAM access)
{
    return (access & kWriteRights) != 0;
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return RunCall("RegOpenKeyExW", false, [&](sqlite3* db) -> LONG {
        OpenKey parent;
        KeyRow key;
        if (LONG result = ResolveSubKey(db, hKey, lpSubKey, &parent, &key))
            return result;
        if (key.readOnly && WantsWrite(samDesired))
            return ERROR_ACCESS_DENIED;
        *phkResult = AddHandle({key.id, samDesired});
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return RunCall("RegCreateKeyExW", true, [&](sqlite3* db) -> LONG {
        OpenKey parent;
        KeyRow key;
        if (LONG result = ResolveHandle(db, hKey, &parent, &key))
            return result;
        std::vector<std::u16string_view> parts;
        if (LONG result = SplitPath(lpSubKey, &parts))
            return result;
        if (!parts.empty() && IsLeafRoot(key.id))
            return ERROR_ACCESS_DENIED;
        if (hKey == HKEY_CLASSES_ROOT && !parts.empty()) {
            if (LONG result = ClassesCreateBase(db, parts, &key))
                return result;
        }
        bool created = false;
        for (size_t i = 0; i < parts.size(); ++i) {
            KeyRow child;
            LONG found = FindChild(db, key.id, parts[i], &child);
            if (found == ERROR_FILE_NOT_FOUND) {
                // A new key needs the right to create under its parent: the
                // caller's handle for the first part, a writable key below.
                if ((i == 0 && !(parent.access & KEY_CREATE_SUB_KEY)) || key.readOnly)
                    return ERROR_ACCESS_DENIED;
                found = InsertChild(db, key, parts[i], &child);
                created = true;
            }
            if (found != ERROR_SUCCESS)
                return found;
            key = child;
        }
        if (key.readOnly && WantsWrite(samDesired))
            return ERROR_ACCESS_DENIED;
        *phkResult = AddHandle({key.id, samDesired});
        if (lpdwDisposition)
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    LONG failure = SeamFailure("RegCloseKey");
    std::lock_guard<std::mutex> lock(RegistryLock());
    // A failed close still lets the handle go, so that nothing leaks.
    bool known = RemoveHandle(hKey) || RootIdOf(hKey) != 0;
    if (failure)
        return failure;
    return known ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return RunCall("RegDeleteKeyW", true, [&](sqlite3* db) -> LONG {
        OpenKey parent;
        KeyRow key;
        if (LONG result = ResolveSubKey(db, hKey, lpSubKey, &parent, &key))
            return result;
        KeyRow classes;
        if (key.depth == 0 || key.readOnly || (ClassesRootKey(db, &classes) == ERROR_SUCCESS && classes.id == key.id))
            return ERROR_ACCESS_DENIED;
        KeyCounts counts;
        if (LONG result = CountChildren(db, key.id, &counts))
            return result;
        if (counts.subkeys != 0)
            return ERROR_ACCESS_DENIED;
        return RemoveKey(db, key.id);
    });
}

}  // extern "C"
