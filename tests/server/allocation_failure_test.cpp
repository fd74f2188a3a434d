// Failed allocations: E_OUTOFMEMORY, nothing made, the lock count and the
// cache as they were, and the next request works.
#include "support/loaded_module.h"

#include "com_ptr.h"

#include <gtest/gtest.h>
#include <win32/seams.h>

namespace trellan::test {
namespace {

// Fails the next allocation for as long as it lives.
class FailNextAllocation {
public:
    FailNextAllocation() { PlatformSeam_FailAllocations(0, 1); }
    ~FailNextAllocation() { PlatformSeam_FailAllocations(0, 0); }
    FailNextAllocation(const FailNextAllocation&) = delete;
    FailNextAllocation& operator=(const FailNextAllocation&) = delete;
};

TEST(AllocationFailure, FactoryCreation)
{
    LoadedModule module;
    for (const IID* iid : {&IID_IClassFactory, &IID_IUnknown}) {
        void* out = reinterpret_cast<void*>(0x1);
        {
            FailNextAllocation fail;
            EXPECT_EQ(module.GetClassObject(CLSID_WMFilter, *iid, &out), E_OUTOFMEMORY);
        }
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(module.CanUnloadNow(), S_OK);
    }

    // The cache stayed empty: the next request makes the factory.
    long allocationsBefore = PlatformSeam_AllocationCount();
    ComPtr<IClassFactory> factory(module.Factory());
    ASSERT_TRUE(factory);
    EXPECT_EQ(PlatformSeam_AllocationCount() - allocationsBefore, 1);
    EXPECT_EQ(factory->AddRef(), 3u) << "cache and caller";
    factory->Release();
    EXPECT_EQ(MeasureLockCount(module, factory.Get()), 1);
}

TEST(AllocationFailure, ObjectCreation)
{
    LoadedModule module;
    ComPtr<IClassFactory> factory(module.Factory());
    ASSERT_TRUE(factory);
    LONG before = MeasureLockCount(module, factory.Get());

    struct OuterStandIn final : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
        {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
    } outer;

    struct Case {
        const char* what;
        IUnknown* outer;
        const IID* iid;
    };
    const Case cases[] = {
        {"stand-alone IFilter", nullptr, &IID_IFilter},
        {"stand-alone IUnknown", nullptr, &IID_IUnknown},
        {"aggregated", &outer, &IID_IUnknown},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        {
            FailNextAllocation fail;
            EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, &out), E_OUTOFMEMORY) << c.what;
        }
        EXPECT_EQ(out, nullptr) << c.what;
        EXPECT_EQ(MeasureLockCount(module, factory.Get()), before) << c.what;

        // The next request works.
        IUnknown* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(c.outer, *c.iid, reinterpret_cast<void**>(&object)), S_OK) << c.what;
        EXPECT_EQ(MeasureLockCount(module, factory.Get()), before + 1) << c.what;
        EXPECT_EQ(object->Release(), 0u) << c.what;
        EXPECT_EQ(MeasureLockCount(module, factory.Get()), before) << c.what;
    }
}

}  // namespace
}  // namespace trellan::test
