// CachedClassFactory: the class object that DllGetClassObject caches in the
// class table. While anyone besides the cache holds it, it holds one unit
// of the module lock count.
#pragma once

#include "server_module.h"

namespace trellan {

class CachedClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    friend HRESULT WINAPI CreateCachedClassFactory(CreateInstanceFunction creator, REFIID iid, void** out);

    explicit CachedClassFactory(CreateInstanceFunction creator);
    ~CachedClassFactory();
    // Runs the destructor and gives the allocation back.
    void Destroy();

    LONG refCount;
    CRITICAL_SECTION baseLock;  // created and deleted with the factory; never taken
    CreateInstanceFunction createInstance;
    CRITICAL_SECTION countLock;  // refCount together with its lock-count changes
};

// The createClassObject of the class table's rows.
HRESULT WINAPI CreateCachedClassFactory(CreateInstanceFunction creator, REFIID iid, void** out);

}  // namespace trellan
