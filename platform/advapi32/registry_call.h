// The frame of every registry call: the test seam, the registry lock, the
// database (writers refused when it can only be read), one transaction
// committed only when the call succeeds.
#pragma once

#include "advapi32/registry_classes.h"
#include "advapi32/registry_handles.h"
#include "advapi32/registry_schema.h"
#include "advapi32/registry_seam.h"
#include "advapi32/registry_store.h"

namespace platform::registry {

template <typename Body>
LONG RunCall(const char* function, bool write, Body body)
{
    if (LONG failure = SeamFailure(function))
        return failure;
    std::lock_guard<std::mutex> lock(RegistryLock());
    sqlite3* db = Database();
    if (!db)
        return OpenError();
    if (write && DatabaseIsReadOnly())
        return ERROR_ACCESS_DENIED;
    Transaction transaction(db, write);
    if (!transaction.Began())
        return ErrorFromSqlite(sqlite3_errcode(db), write);
    LONG result = body(db);
    if (result != ERROR_SUCCESS)
        return result;
    if (!transaction.Commit())
        return ErrorFromSqlite(sqlite3_errcode(db), write);
    return ERROR_SUCCESS;
}

// The key behind an open handle: ERROR_INVALID_HANDLE for a handle that is
// not open, ERROR_KEY_DELETED when its key is gone.
inline LONG ResolveHandle(sqlite3* db, HKEY handle, OpenKey* open, KeyRow* key)
{
    if (!FindHandle(handle, open))
        return ERROR_INVALID_HANDLE;
    if (open->id == kClassesRootId) {
        // The view's own key is the machine's classes (registry_classes.h).
        if (LONG result = ClassesRootKey(db, key))
            return result;
        open->id = key->id;
        return ERROR_SUCCESS;
    }
    return LoadKey(db, open->id, key);
}

// The key behind an open handle that was opened with `right`;
// ERROR_ACCESS_DENIED when it was not.
inline LONG ResolveHandleFor(sqlite3* db, HKEY handle, REGSAM right, OpenKey* open, KeyRow* key)
{
    if (LONG result = ResolveHandle(db, handle, open, key))
        return result;
    return (open->access & right) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The key that `subKey` names under an open handle: the handle's errors,
// the path's, and ERROR_FILE_NOT_FOUND when a part is missing (a root
// without subkeys has none).
inline LONG ResolveSubKey(sqlite3* db, HKEY handle, LPCWSTR subKey, OpenKey* open, KeyRow* key)
{
    if (LONG result = ResolveHandle(db, handle, open, key))
        return result;
    std::vector<std::u16string_view> parts;
    if (LONG result = SplitPath(subKey, &parts))
        return result;
    if (handle == HKEY_CLASSES_ROOT && !parts.empty())
        return ResolveClassesPath(db, parts, key);
    if (!parts.empty() && IsLeafRoot(key->id))
        return ERROR_FILE_NOT_FOUND;
    for (std::u16string_view part : parts) {
        KeyRow child;
        if (LONG result = FindChild(db, key->id, part, &child))
            return result;
        *key = child;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform::registry
