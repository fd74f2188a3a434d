// The stand-alone filter object: creation, reference counting, destruction.
#include "filter_objects.h"

#include "interface_tables.h"

#include <new>

namespace trellan {

HRESULT WINAPI CreatePlainFilter(REFIID iid, void** out)
{
    // One allocation from the process heap.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(PlainFilter));
    if (!memory)
        return E_OUTOFMEMORY;

    // The filter constructor; the stand-alone operations come with the type.
    auto* filter = new (memory) PlainFilter();

    // The object's unit of the lock count.
    InterlockedIncrement(&serverModuleRecord.lockCount);

    // The caller's reference.
    HRESULT result = QueryInterfaceFromTable(static_cast<WMFilter*>(filter), FilterInterfaceTable, iid, out);

    // Nothing survives a refused query.
    if (result != S_OK) {
        filter->Destroy();
        return result;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PlainFilter::QueryInterface(REFIID iid, void** out)
{
    return QueryInterfaceFromTable(static_cast<WMFilter*>(this), FilterInterfaceTable, iid, out);
}

ULONG STDMETHODCALLTYPE PlainFilter::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

ULONG STDMETHODCALLTYPE PlainFilter::Release()
{
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0)
        Destroy();
    return static_cast<ULONG>(count);
}

void PlainFilter::Destroy()
{
    this->~PlainFilter();
    HeapFree(GetProcessHeap(), 0, this);
    // Last: until the object is gone, DllCanUnloadNow must not allow the
    // host to unload the code that is destroying it.
    InterlockedDecrement(&serverModuleRecord.lockCount);
}

}  // namespace trellan
