// The COM runtime honours the class's threading model "Both": objects
// created in the multithreaded apartment and in a single-threaded one are
// the module's own objects, handed out directly rather than through a
// proxy. Only the registered route goes through the runtime.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::windows_test {
namespace {

// The module whose image holds the object's first interface table: the
// filter module itself for a direct pointer, the runtime for a proxy.
HMODULE ModuleOfObject(IUnknown* object)
{
    const void* table = *reinterpret_cast<void* const*>(object);
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(table, &region, sizeof region))
        return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

struct ApartmentResult {
    HRESULT initialized = E_UNEXPECTED;
    HRESULT created = E_UNEXPECTED;
    HMODULE owner = nullptr;
    HRESULT init = E_UNEXPECTED;
};

DWORD WINAPI CreateInSingleThreadedApartment(void* parameter)
{
    auto* result = static_cast<ApartmentResult*>(parameter);
    result->initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(result->initialized))
        return 0;
    {
        ComPtr<IFilter> filter;
        result->created = CoCreateInstance(CLSID_WMFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                           filter.ReceiveVoid());
        if (SUCCEEDED(result->created)) {
            result->owner = ModuleOfObject(filter.Get());
            result->init = filter->Init(0, 0, nullptr, nullptr);
        }
    }
    CoUninitialize();
    return 0;
}

TEST(Threading, ObjectsLiveInEveryApartmentWithoutProxies)
{
    if (Source().GetRoute() != Route::Registered)
        GTEST_SKIP() << "only the COM runtime chooses apartments";

    ComPtr<IFilter> inMultithreaded;
    ASSERT_EQ(Source().CreateFilter(IID_IFilter, inMultithreaded.ReceiveVoid()), S_OK);
    HMODULE module = Source().LoadedModule();
    ASSERT_NE(module, nullptr) << "the runtime did not load the registered module";
    EXPECT_EQ(ModuleOfObject(inMultithreaded.Get()), module);

    ApartmentResult single;
    HANDLE thread = CreateThread(nullptr, 0, CreateInSingleThreadedApartment, &single, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    ASSERT_EQ(single.initialized, S_OK);
    ASSERT_EQ(single.created, S_OK);
    EXPECT_EQ(single.owner, module);
    EXPECT_EQ(single.init, E_FAIL) << "a direct call reaches the filter: no file is bound";
}

}  // namespace
}  // namespace trellan::windows_test
