// The class object: what it answers, how it creates objects, and how the
// module lock count follows factory references, LockServer and live
// objects, seen through DllCanUnloadNow.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::windows_test {
namespace {

const CLSID kUnknownClass = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

TEST(ClassFactory, AnswersItsInterfacesAndCreatesFilters)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    ASSERT_TRUE(factory);

    // The cached factory: every request hands out the same object.
    ComPtr<IClassFactory> again;
    ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, again.ReceiveVoid()), S_OK);
    EXPECT_EQ(again.Get(), factory.Get());

    struct QueryRow {
        const IID* iid;
        const char* name;
        HRESULT expected;
    };
    const QueryRow queries[] = {
        {&IID_IUnknown, "IUnknown", S_OK},
        {&IID_IClassFactory, "IClassFactory", S_OK},
        {&IID_IFilter, "IFilter", E_NOINTERFACE},
        {&IID_IPersistFile, "IPersistFile", E_NOINTERFACE},
        {&IID_IPersistStream, "IPersistStream", E_NOINTERFACE},
        {&IID_IClassFactory2, "IClassFactory2", E_NOINTERFACE},
    };
    for (const QueryRow& row : queries) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->QueryInterface(*row.iid, &out), row.expected) << row.name;
        if (row.expected == S_OK) {
            ASSERT_NE(out, nullptr) << row.name;
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr) << row.name;
        }
    }

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFilter, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    ComPtr<IFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFilter, filter.ReceiveVoid()), S_OK);
    EXPECT_TRUE(filter);
}

TEST(ClassFactory, RefusesClassesItDoesNotServe)
{
    void* out = reinterpret_cast<void*>(1);
    HRESULT result = Source().GetClassObject(kUnknownClass, IID_IClassFactory, &out);
    // The module answers CLASS_E_CLASSNOTAVAILABLE; the COM runtime finds no
    // registration for the class at all.
    if (Source().GetRoute() == Route::Loaded)
        EXPECT_EQ(result, CLASS_E_CLASSNOTAVAILABLE);
    else
        EXPECT_EQ(result, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
}

// One step of the lock-count walk and what DllCanUnloadNow says after it.
enum class LockStep {
    TakeFactory,
    DropFactory,
    LockServer,
    UnlockServer,
    CreateObject,
    DropObject,
};

struct LockRow {
    LockStep step;
    HRESULT canUnload;
};

TEST(ClassFactory, LockCountFollowsReferencesLocksAndObjects)
{
    // The cache's own reference never counts, so the walk starts at S_OK
    // once the factory exists.
    {
        ComPtr<IClassFactory> warmUp;
        ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, warmUp.ReceiveVoid()), S_OK);
    }
    ASSERT_EQ(Source().CanUnloadNow(), S_OK);

    const LockRow walk[] = {
        {LockStep::TakeFactory, S_FALSE},  {LockStep::LockServer, S_FALSE},   {LockStep::DropFactory, S_FALSE},
        {LockStep::UnlockServer, S_OK},    {LockStep::TakeFactory, S_FALSE},  {LockStep::CreateObject, S_FALSE},
        {LockStep::DropFactory, S_FALSE},  {LockStep::DropObject, S_OK},      {LockStep::TakeFactory, S_FALSE},
        {LockStep::LockServer, S_FALSE},   {LockStep::LockServer, S_FALSE},   {LockStep::UnlockServer, S_FALSE},
        {LockStep::UnlockServer, S_FALSE}, {LockStep::DropFactory, S_OK},
    };
    ComPtr<IClassFactory> factory;
    ComPtr<IFilter> object;
    int index = 0;
    for (const LockRow& row : walk) {
        switch (row.step) {
        case LockStep::TakeFactory:
            ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
            break;
        case LockStep::DropFactory:
            factory.Reset();
            break;
        case LockStep::LockServer:
            ASSERT_EQ(factory->LockServer(TRUE), S_OK);
            break;
        case LockStep::UnlockServer: {
            // The factory may already be dropped: take a fresh reference
            // for the call and let it go again.
            ComPtr<IClassFactory> any;
            ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, any.ReceiveVoid()), S_OK);
            ASSERT_EQ(any->LockServer(FALSE), S_OK);
            break;
        }
        case LockStep::CreateObject:
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFilter, object.ReceiveVoid()), S_OK);
            break;
        case LockStep::DropObject:
            object.Reset();
            break;
        }
        EXPECT_EQ(Source().CanUnloadNow(), row.canUnload) << "after step " << index;
        ++index;
    }
}

}  // namespace
}  // namespace trellan::windows_test
