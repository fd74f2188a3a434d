// The library's exported functions for COM.
#include "server_module.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    return trellan::serverModule->GetClassObject(clsid, iid, out);
}

// The module may go when no object, outside factory reference or server
// lock is left. The count is read in one atomic step; other threads may be
// changing it.
STDAPI DllCanUnloadNow()
{
    LONG count = InterlockedCompareExchange(&trellan::serverModule->lockCount, 0, 0);
    return count == 0 ? S_OK : S_FALSE;
}

// Registration: the class's registry script and categories, then the type
// library.
STDAPI DllRegisterServer()
{
    return trellan::serverModule->RegisterServer(true, nullptr);
}

// Unregistration ignores every failure and answers S_OK.
STDAPI DllUnregisterServer()
{
    return trellan::serverModule->UnregisterServer(true, nullptr);
}
