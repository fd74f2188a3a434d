// The library's exported functions for COM.
#include "registration_driver.h"
#include "server_module.h"

namespace {

// The answer of every export of a module whose load-time attach failed
// (Linux only: on Windows such a module is never loaded).
const HRESULT notAttached = HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED);

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!trellan::serverModule) {
        if (out)
            *out = nullptr;
        return notAttached;
    }
    return trellan::serverModule->GetClassObject(clsid, iid, out);
}

// The module may go when no object, outside factory reference or server
// lock is left. The count is read in one atomic step; other threads may be
// changing it.
STDAPI DllCanUnloadNow()
{
    if (!trellan::serverModule)
        return S_OK;
    LONG count = InterlockedCompareExchange(&trellan::serverModule->lockCount, 0, 0);
    return count == 0 ? S_OK : S_FALSE;
}

// Registration: the class's registry script, then the type library.
STDAPI DllRegisterServer()
{
    if (!trellan::serverModule)
        return notAttached;
    return trellan::RegisterServer(trellan::serverModule->objectMap, trellan::serverModule->typeLibInstance, true,
                                   nullptr);
}

// Unregistration ignores every failure and answers S_OK.
STDAPI DllUnregisterServer()
{
    if (!trellan::serverModule)
        return notAttached;
    return trellan::UnregisterServer(trellan::serverModule->objectMap, trellan::serverModule->typeLibInstance, true,
                                     nullptr);
}
