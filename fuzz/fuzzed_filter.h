// The filter object with a plain reference count, as the module's
// stand-alone object has, for the fuzzers that drive it directly.
#pragma once

#include "wm_filter.h"

namespace fuzzing {

class FuzzedFilter final : public trellan::WMFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refCount); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refCount); }
};

}  // namespace fuzzing
