// The aggregated filter: the wrapper with its own IUnknown, and the
// contained object whose IUnknown operations go to the outer object.
#include "filter_objects.h"

#include "interface_tables.h"

#include <new>

namespace trellan {

HRESULT WINAPI CreateAggregatedFilter(IUnknown* outer, REFIID iid, void** out)
{
    // Only the wrapper's own IUnknown may go to the outer object: any other
    // interface would count on the outer object and leave the wrapper
    // without an owner.
    if (!IsEqualGUID(iid, IID_IUnknown)) {
        if (out)
            *out = nullptr;
        return CLASS_E_NOAGGREGATION;
    }

    // One allocation from the process heap, the contained object inside.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(AggregatedFilter));
    if (!memory)
        return E_OUTOFMEMORY;

    // refCount 0; the contained object with its delegating operations
    // and the outer object's IUnknown; the wrapper's own operations.
    auto* wrapper = new (memory) AggregatedFilter(outer);

    // The object's unit of the lock count.
    InterlockedIncrement(&serverModuleRecord.lockCount);

    // The outer object's reference to the wrapper.
    HRESULT result = wrapper->QueryInterface(iid, out);

    // Nothing survives a refused query.
    if (result != S_OK) {
        wrapper->Destroy();
        return result;
    }
    return S_OK;
}

AggregatedFilter::AggregatedFilter(IUnknown* outer) : refCount(0), contained(outer)
{
}

HRESULT STDMETHODCALLTYPE AggregatedFilter::QueryInterface(REFIID iid, void** out)
{
    if (IsEqualGUID(iid, IID_IUnknown)) {
        if (!out)
            return E_POINTER;
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    // The AddRef of the lookup goes through the found interface pointer,
    // so what is handed out counts on the outer object.
    return QueryInterfaceFromTable(contained.ObjectStart(), FilterInterfaceTable, iid, out);
}

ULONG STDMETHODCALLTYPE AggregatedFilter::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

ULONG STDMETHODCALLTYPE AggregatedFilter::Release()
{
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0)
        Destroy();
    return static_cast<ULONG>(count);
}

void AggregatedFilter::Destroy()
{
    this->~AggregatedFilter();
    HeapFree(GetProcessHeap(), 0, this);
    // Last, for the reason given at PlainFilter::Destroy.
    InterlockedDecrement(&serverModuleRecord.lockCount);
}

// The contained object does not hold a reference on the outer object.
ContainedFilter::ContainedFilter(IUnknown* outer)
{
    outerUnknown = outer;
}

ULONG STDMETHODCALLTYPE ContainedFilter::AddRef()
{
    return outerUnknown->AddRef();
}

ULONG STDMETHODCALLTYPE ContainedFilter::Release()
{
    return outerUnknown->Release();
}

HRESULT STDMETHODCALLTYPE ContainedFilter::QueryInterface(REFIID iid, void** out)
{
    HRESULT result = outerUnknown->QueryInterface(iid, out);
    IUnknown* identity = static_cast<IWMFilter*>(this);
    if (FAILED(result) && identity != outerUnknown)
        return QueryInterfaceFromTable(ObjectStart(), FilterInterfaceTable, iid, out);
    return result;
}

}  // namespace trellan
