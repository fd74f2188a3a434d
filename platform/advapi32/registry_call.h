// The frame of every registry call: the test seam, the registry lock, the
// database, one transaction committed only when the call succeeds.
#pragma once

#include "advapi32/registry_handles.h"
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
        return ERROR_CANTOPEN;
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
    return LoadKey(db, open->id, key);
}

}  // namespace platform::registry
