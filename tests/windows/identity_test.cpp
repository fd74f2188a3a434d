// The filter object's interfaces: which ones it answers, that they share
// one identity and one reference count, and what IPersistFile reports.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::windows_test {
namespace {

ULONG CountOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

TEST(Identity, InterfacesShareOneObject)
{
    ComPtr<IUnknown> identity;
    ASSERT_EQ(Source().CreateFilter(IID_IUnknown, identity.ReceiveVoid()), S_OK);

    struct QueryRow {
        const IID* iid;
        const char* name;
        HRESULT expected;
    };
    const QueryRow queries[] = {
        {&IID_IUnknown, "IUnknown", S_OK},
        {&IID_IWMFilter, "IWMFilter", S_OK},
        {&IID_IFilter, "IFilter", S_OK},
        {&IID_IPersistFile, "IPersistFile", S_OK},
        {&IID_IPersistStream, "IPersistStream", S_OK},
        {&IID_IInitializeWithStream, "IInitializeWithStream", S_OK},
        {&IID_IPersist, "IPersist", E_NOINTERFACE},
        {&IID_IClassFactory, "IClassFactory", E_NOINTERFACE},
        {&IID_IDispatch, "IDispatch", E_NOINTERFACE},
    };
    for (const QueryRow& row : queries) {
        void* out = reinterpret_cast<void*>(1);
        ASSERT_EQ(identity->QueryInterface(*row.iid, &out), row.expected) << row.name;
        if (row.expected != S_OK) {
            EXPECT_EQ(out, nullptr) << row.name;
            continue;
        }
        ComPtr<IUnknown> granted(static_cast<IUnknown*>(out));
        // From every interface, IUnknown leads back to the same pointer,
        // and every interface answers the others.
        ComPtr<IUnknown> back;
        ASSERT_EQ(granted->QueryInterface(IID_IUnknown, back.ReceiveVoid()), S_OK) << row.name;
        EXPECT_EQ(back.Get(), identity.Get()) << row.name;
        for (const QueryRow& other : queries) {
            void* otherOut = reinterpret_cast<void*>(1);
            EXPECT_EQ(granted->QueryInterface(*other.iid, &otherOut), other.expected)
                << row.name << " asked for " << other.name;
            if (otherOut && other.expected == S_OK)
                static_cast<IUnknown*>(otherOut)->Release();
        }
    }
    EXPECT_EQ(identity->QueryInterface(IID_IFilter, nullptr), E_POINTER);
}

TEST(Identity, OneReferenceCountForAllInterfaces)
{
    ComPtr<IFilter> filter;
    ASSERT_EQ(Source().CreateFilter(IID_IFilter, filter.ReceiveVoid()), S_OK);
    EXPECT_EQ(CountOf(filter.Get()), 1u);

    ComPtr<IPersistFile> persist;
    ASSERT_EQ(filter->QueryInterface(IID_IPersistFile, persist.ReceiveVoid()), S_OK);
    EXPECT_EQ(CountOf(filter.Get()), 2u);
    EXPECT_EQ(persist->AddRef(), 3u);
    EXPECT_EQ(filter->Release(), 2u);
    persist.Reset();
    EXPECT_EQ(CountOf(filter.Get()), 1u);
}

TEST(Identity, PersistFileNamesTheClassAndKeepsThePath)
{
    ComPtr<IPersistFile> persist;
    ASSERT_EQ(Source().CreateFilter(IID_IPersistFile, persist.ReceiveVoid()), S_OK);

    CLSID clsid{};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_WMFilter));

    const WCHAR path[] = OLESTR("C:\\media\\Some Song.mp3");
    ASSERT_EQ(persist->Load(path, STGM_READ), S_OK);
    LPOLESTR current = nullptr;
    ASSERT_EQ(persist->GetCurFile(&current), S_OK);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(std::basic_string<WCHAR>(current), std::basic_string<WCHAR>(path));
    CoTaskMemFree(current);
}

}  // namespace
}  // namespace trellan::windows_test
