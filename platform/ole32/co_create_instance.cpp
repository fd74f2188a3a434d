// CoInitializeEx, CoUninitialize and CoCreateInstance. The stand-in has no
// class registry of its own: CoCreateInstance knows the platform classes it
// implements, which is the component-categories manager.
#include "category_manager.h"

namespace {

// Initialisations of COM on this thread.
thread_local int initializations = 0;

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE CoInitializeEx(void* reserved, DWORD coInit)
{
    if (reserved)
        return E_INVALIDARG;
    return initializations++ == 0 ? S_OK : S_FALSE;
}

void STDAPICALLTYPE CoUninitialize()
{
    if (initializations > 0)
        --initializations;
}

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        void** ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (rclsid != CLSID_StdComponentCategoriesMgr || !(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    return platform::categories::CreateCategoryManager(riid, ppv);
}

}  // extern "C"
