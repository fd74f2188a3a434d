// Test and tool controls of the registry stand-in.
#include "advapi32/registry_call.h"

#include <win32/registry_control.h>

using namespace platform::registry;

extern "C" {

void PlatformRegistry_Reset()
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    ClearHandles();
    CloseDatabase();
}

LONG PlatformRegistry_SetKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly)
{
    return RunCall("PlatformRegistry_SetKeyReadOnly", true, [&](sqlite3* db) -> LONG {
        OpenKey open;
        KeyRow key;
        if (LONG result = ResolveSubKey(db, root, subKey, &open, &key))
            return result;
        return SetReadOnly(db, key.id, readOnly != FALSE);
    });
}

long PlatformRegistry_OpenHandleCount()
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    return HandleCount();
}

LONG PlatformRegistry_Open(BOOL* writable)
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    bool opened = Database() != nullptr;
    if (writable)
        *writable = opened && !DatabaseIsReadOnly();
    return OpenError();
}

const char* PlatformRegistry_Path()
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    return DatabasePath().c_str();
}

LONG PlatformRegistry_BeginWrite()
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    return BeginCommandTransaction();
}

LONG PlatformRegistry_EndWrite(BOOL commit)
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    return EndCommandTransaction(commit != FALSE);
}

}  // extern "C"
