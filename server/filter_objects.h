// The two forms of the filter object that the class factory makes:
// PlainFilter stands alone and counts its own references; ContainedFilter
// sits inside an AggregatedFilter and hands its IUnknown work to the outer
// object. Both hold one unit of the module lock count while they live
// (the aggregated one through its wrapper).
#pragma once

#include "server_module.h"
#include "wm_filter.h"

namespace trellan {

class PlainFilter final : public WMFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    friend HRESULT WINAPI CreatePlainFilter(REFIID iid, void** out);

    PlainFilter() = default;
    ~PlainFilter() = default;
    // Runs the destructor, gives the allocation back, and gives up the
    // object's unit of the lock count.
    void Destroy();
};

class ContainedFilter final : public WMFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Where the object starts, for its interface table.
    void* ObjectStart() { return static_cast<WMFilter*>(this); }

private:
    friend class AggregatedFilter;

    explicit ContainedFilter(IUnknown* outer);
    ~ContainedFilter() = default;
};

// The object that an outer object aggregates: its own, non-delegating
// IUnknown, its count, and the contained filter, in one allocation.
class AggregatedFilter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    friend HRESULT WINAPI CreateAggregatedFilter(IUnknown* outer, REFIID iid, void** out);

    explicit AggregatedFilter(IUnknown* outer);
    ~AggregatedFilter() = default;
    void Destroy();

    LONG refCount;
    ContainedFilter contained;
};

// The createInstance of the WMFilter row: stand-alone without an outer
// object, aggregated with one.
HRESULT WINAPI CreateFilterInstance(IUnknown* outer, REFIID iid, void** out);
HRESULT WINAPI CreatePlainFilter(REFIID iid, void** out);
HRESULT WINAPI CreateAggregatedFilter(IUnknown* outer, REFIID iid, void** out);

}  // namespace trellan
