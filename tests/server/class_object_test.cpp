// DllGetClassObject and the class-object cache, through the loaded module.
#include "support/loaded_module.h"

#include "com_ptr.h"

#include <gtest/gtest.h>
#include <win32/seams.h>

namespace trellan::test {
namespace {

const CLSID otherClass = {0x12345678, 0x9ABC, 0xDEF0, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}};
// The filter's class id with one bit changed: all 16 bytes are compared.
const CLSID nearlyTheFilter = {0x5469E55E, 0xCBFD, 0x4CDD, {0xBF, 0x6D, 0xE2, 0x9E, 0x3B, 0xE3, 0xE6, 0x2C}};

IUnknown* AsUnknown(IClassFactory* factory)
{
    return factory;
}

TEST(ClassObject, OneFactoryPerLoadWhateverIsAsked)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    EXPECT_EQ(module.CanUnloadNow(), S_OK) << "right after loading";

    // Every request, for IUnknown or IClassFactory, gets the same object.
    ComPtr<IUnknown> first;
    ASSERT_EQ(module.GetClassObject(CLSID_WMFilter, IID_IUnknown, first.ReceiveVoid()), S_OK);
    ASSERT_TRUE(first);
    const IID* requests[] = {&IID_IClassFactory, &IID_IUnknown, &IID_IClassFactory, &IID_IUnknown};
    for (const IID* iid : requests) {
        ComPtr<IUnknown> again;
        ASSERT_EQ(module.GetClassObject(CLSID_WMFilter, *iid, again.ReceiveVoid()), S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(again->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
        EXPECT_EQ(identity.Get(), first.Get());
    }

    // The factory's IUnknown and its IClassFactory are one pointer, and
    // QueryInterface through it finds the same object.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(first->QueryInterface(IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    EXPECT_EQ(AsUnknown(factory.Get()), first.Get());
}

TEST(ClassObject, RefusedInterfaceLeavesTheFactoryCached)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());

    // The first request of all is refused: the factory is made all the same
    // and stays in the cache.
    const IID* refused[] = {&IID_IFilter, &IID_IPersistFile, &IID_IWMFilter, &IID_IPersist};
    for (const IID* iid : refused) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(module.GetClassObject(CLSID_WMFilter, *iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(module.CanUnloadNow(), S_OK) << "only the cache holds the factory";
    }

    long allocationsBefore = PlatformSeam_AllocationCount();
    ComPtr<IClassFactory> factory(module.Factory());
    ASSERT_TRUE(factory);
    EXPECT_EQ(PlatformSeam_AllocationCount(), allocationsBefore) << "served from the cache, not made anew";

    // A refusal after that changes nothing either.
    void* out = nullptr;
    EXPECT_EQ(module.GetClassObject(CLSID_WMFilter, IID_IFilter, &out), E_NOINTERFACE);
    ComPtr<IClassFactory> again(module.Factory());
    EXPECT_EQ(again.Get(), factory.Get());
}

TEST(ClassObject, BadRequests)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());

    struct Case {
        const char* what;
        const CLSID* clsid;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    };
    const Case cases[] = {
        {"unknown class", &otherClass, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"unknown class, IUnknown", &otherClass, &IID_IUnknown, false, CLASS_E_CLASSNOTAVAILABLE},
        {"class id one bit off", &nearlyTheFilter, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"null class id", &GUID_NULL, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"the filter's interface id as class", &IID_IWMFilter, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"null out, filter class", &CLSID_WMFilter, &IID_IClassFactory, true, E_POINTER},
        {"null out, unknown class", &otherClass, &IID_IClassFactory, true, E_POINTER},
        {"null out, refused interface", &CLSID_WMFilter, &IID_IFilter, true, E_POINTER},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(module.GetClassObject(*c.clsid, *c.iid, c.nullOut ? nullptr : &out), c.expected) << c.what;
        if (!c.nullOut) {
            EXPECT_EQ(out, nullptr) << c.what;
        }
        EXPECT_EQ(module.CanUnloadNow(), S_OK) << c.what;
    }
}

TEST(ClassObject, CreateInstanceArguments)
{
    LoadedModule module;
    ComPtr<IClassFactory> factory(module.Factory());
    ASSERT_TRUE(factory);
    LONG before = MeasureLockCount(module, factory.Get());

    // An outer object with any id but IUnknown is refused, and nothing is
    // made; a null out is refused before anything else.
    IUnknown* outer = factory.Get();  // any IUnknown will do: it is never called
    struct Case {
        const char* what;
        IUnknown* outer;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    };
    const Case cases[] = {
        {"outer with IFilter", outer, &IID_IFilter, false, CLASS_E_NOAGGREGATION},
        {"outer with IWMFilter", outer, &IID_IWMFilter, false, CLASS_E_NOAGGREGATION},
        {"outer with IPersistFile", outer, &IID_IPersistFile, false, CLASS_E_NOAGGREGATION},
        {"outer with IClassFactory", outer, &IID_IClassFactory, false, CLASS_E_NOAGGREGATION},
        {"null out", nullptr, &IID_IFilter, true, E_POINTER},
        {"null out with outer", outer, &IID_IUnknown, true, E_POINTER},
        {"interface the filter lacks", nullptr, &IID_IPersist, false, E_NOINTERFACE},
        {"class factory from an object", nullptr, &IID_IClassFactory, false, E_NOINTERFACE},
    };
    long allocationsBefore = PlatformSeam_AllocationCount();
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, c.nullOut ? nullptr : &out), c.expected) << c.what;
        if (!c.nullOut) {
            EXPECT_EQ(out, nullptr) << c.what;
        }
        EXPECT_EQ(MeasureLockCount(module, factory.Get()), before) << c.what;
    }
    // Only the two refused interfaces made (and destroyed) an object.
    EXPECT_EQ(PlatformSeam_AllocationCount() - allocationsBefore, 2);
}

TEST(ClassObject, FactoryCountsReturnTheNewValue)
{
    LoadedModule module;
    IClassFactory* factory = module.Factory();  // the cache's reference and this one
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->AddRef(), 3u);
    EXPECT_EQ(factory->AddRef(), 4u);
    EXPECT_EQ(factory->Release(), 3u);
    EXPECT_EQ(factory->Release(), 2u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->Release(), 1u) << "the cache's reference is left";
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace trellan::test
