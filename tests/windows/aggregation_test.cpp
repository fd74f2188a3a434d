// Aggregation: an outer object written here holds the filter by the inner
// object's own IUnknown; every other interface of the filter delegates its
// reference counting and IUnknown to the outer object.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::windows_test {
namespace {

// Counts its own references and hands every interface but IUnknown on to
// the inner object.
class OuterObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&references)); }

    LONG references = 1;  // the test's own
    IUnknown* inner = nullptr;
};

TEST(Aggregation, OuterObjectOwnsTheFilter)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(Source().GetClassObject(CLSID_WMFilter, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    OuterObject outer;

    // Only IUnknown may be asked for together with an outer object.
    const IID* refused[] = {&IID_IFilter, &IID_IPersistFile, &IID_IWMFilter, &IID_IPersistStream};
    for (const IID* iid : refused) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(&outer, *iid, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(outer.references, 1);

    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));

    {
        // Through the outer object: the filter's interfaces, counted on the
        // outer object.
        ComPtr<IFilter> filter;
        ASSERT_EQ(outer.QueryInterface(IID_IFilter, filter.ReceiveVoid()), S_OK);
        EXPECT_EQ(outer.references, 2);
        ComPtr<IPersistFile> persist;
        ASSERT_EQ(filter->QueryInterface(IID_IPersistFile, persist.ReceiveVoid()), S_OK);
        EXPECT_EQ(outer.references, 3);
        ComPtr<IInitializeWithStream> initialize;
        ASSERT_EQ(persist->QueryInterface(IID_IInitializeWithStream, initialize.ReceiveVoid()), S_OK);
        EXPECT_EQ(outer.references, 4);
        initialize.Reset();

        // IUnknown asked of any filter interface is the outer object.
        ComPtr<IUnknown> identity;
        ASSERT_EQ(persist->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
        EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
        identity.Reset();

        // The inner IUnknown keeps its own count, apart from the outer one.
        outer.inner->AddRef();
        EXPECT_EQ(outer.inner->Release(), 1u);
        EXPECT_EQ(outer.references, 3);

        // The aggregated filter works as a filter.
        ASSERT_EQ(persist->Load(OLESTR("C:\\media\\aggregated.wma"), STGM_READ), S_OK);
        STAT_CHUNK stat{};
        EXPECT_EQ(filter->GetChunk(&stat), FILTER_E_END_OF_CHUNKS);

        void* refusedOut = reinterpret_cast<void*>(1);
        EXPECT_EQ(filter->QueryInterface(IID_IPersist, &refusedOut), E_NOINTERFACE);
        EXPECT_EQ(refusedOut, nullptr);
    }
    EXPECT_EQ(outer.references, 1);

    factory.Reset();
    EXPECT_EQ(Source().CanUnloadNow(), S_FALSE) << "the inner object is alive";
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(Source().CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace trellan::windows_test
