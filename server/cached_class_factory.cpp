// The cached class factory: its creation, its counting and its two
// operations.
#include "cached_class_factory.h"

#include "interface_tables.h"

#include <new>

namespace trellan {

CachedClassFactory::CachedClassFactory(CreateInstanceFunction creator) : refCount(0)
{
    InitializeCriticalSection(&baseLock);
    InitializeCriticalSection(&countLock);
    createInstance = creator;
}

CachedClassFactory::~CachedClassFactory()
{
    DeleteCriticalSection(&countLock);
    DeleteCriticalSection(&baseLock);
}

void CachedClassFactory::Destroy()
{
    this->~CachedClassFactory();
    HeapFree(GetProcessHeap(), 0, this);
}

HRESULT WINAPI CreateCachedClassFactory(CreateInstanceFunction creator, REFIID iid, void** out)
{
    // One allocation from the process heap.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CachedClassFactory));
    if (!memory)
        return E_OUTOFMEMORY;

    // refCount 0, the base lock, countLock, the instance-making function.
    auto* factory = new (memory) CachedClassFactory(creator);

    // The caller's reference.
    HRESULT result = factory->QueryInterface(iid, out);

    // Nothing survives a refused query.
    if (result != S_OK) {
        factory->Destroy();
        return result;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CachedClassFactory::QueryInterface(REFIID iid, void** out)
{
    return QueryInterfaceFromTable(this, FactoryInterfaceTable, iid, out);
}

ULONG STDMETHODCALLTYPE CachedClassFactory::AddRef()
{
    EnterCriticalSection(&countLock);
    LONG count = InterlockedIncrement(&refCount);
    // The first reference is the cache's; a second one is held outside.
    if (count == 2)
        InterlockedIncrement(&serverModuleRecord.lockCount);
    LeaveCriticalSection(&countLock);
    return static_cast<ULONG>(count);
}

ULONG STDMETHODCALLTYPE CachedClassFactory::Release()
{
    EnterCriticalSection(&countLock);
    LONG count = InterlockedDecrement(&refCount);
    LeaveCriticalSection(&countLock);

    if (count == 0)
        Destroy();
    else if (count == 1)
        InterlockedDecrement(&serverModuleRecord.lockCount);
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CachedClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    // An aggregate holds its inner object by the inner IUnknown only.
    if (outer && !IsEqualGUID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return createInstance(outer, iid, out);
}

HRESULT STDMETHODCALLTYPE CachedClassFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&serverModuleRecord.lockCount);
    else
        InterlockedDecrement(&serverModuleRecord.lockCount);
    return S_OK;
}

}  // namespace trellan
