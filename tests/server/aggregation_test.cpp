// Aggregation: an outer object written here, which counts its own
// references, holds the filter by the wrapper's own IUnknown.
#include "support/loaded_module.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trellan::test {
namespace {

// An outer object that owns the filter as its inner object. It answers
// IUnknown itself, hands IFilter and IPersistFile on to the inner object
// (unless told to refuse them), and records what it is asked.
class OuterObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualGUID(iid, IID_IUnknown)) {
            queries.push_back("IUnknown");
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        bool refused = (IsEqualGUID(iid, IID_IPersistFile) && refusePersistFile) ||
                       (IsEqualGUID(iid, IID_IFilter) && refuseFilter);
        queries.push_back(refused ? "refused" : "forwarded");
        if (refused || !inner)
            return E_NOINTERFACE;
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++addRefs;
        return static_cast<ULONG>(++references);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ++releases;
        return static_cast<ULONG>(--references);
    }

    LONG references = 1;  // the test's own
    int addRefs = 0;
    int releases = 0;
    bool refusePersistFile = false;
    bool refuseFilter = false;
    IUnknown* inner = nullptr;
    std::vector<std::string> queries;
};

class Aggregation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.Loaded());
        factory.reset(module.Factory());
        ASSERT_NE(factory, nullptr);
        baseline = MeasureLockCount(module, factory.get());
        ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
        ASSERT_NE(outer.inner, nullptr);
    }
    void TearDown() override
    {
        if (outer.inner)
            outer.inner->Release();
        factory.reset();
        EXPECT_EQ(module.CanUnloadNow(), S_OK);
    }
    LONG WrapperCount()
    {
        outer.inner->AddRef();
        return static_cast<LONG>(outer.inner->Release());
    }

    struct FactoryRelease {
        void operator()(IClassFactory* f) const { f->Release(); }
    };
    LoadedModule module;
    std::unique_ptr<IClassFactory, FactoryRelease> factory;
    LONG baseline = 0;
    OuterObject outer;
};

TEST_F(Aggregation, WrapperHasItsOwnIUnknown)
{
    IUnknown* inner = outer.inner;
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(WrapperCount(), 1) << "the outer object's one reference";
    EXPECT_EQ(outer.addRefs, 0) << "making the wrapper does not touch the outer object";
    EXPECT_EQ(MeasureLockCount(module, factory.get()), baseline + 1);

    // Its own QueryInterface for IUnknown answers itself and counts on itself.
    void* out = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, inner);
    EXPECT_EQ(WrapperCount(), 2);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(inner->QueryInterface(IID_IFilter, nullptr), E_POINTER);
    EXPECT_EQ(outer.addRefs, 0);

    // Interfaces the filter lacks are refused by the wrapper.
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(inner->QueryInterface(IID_IPersist, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(Aggregation, InterfacesFromTheWrapperCountOnTheOuterObject)
{
    IFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
    EXPECT_EQ(outer.addRefs, 1) << "the lookup's AddRef goes to the outer object";
    EXPECT_EQ(outer.references, 2);
    EXPECT_EQ(WrapperCount(), 1) << "the wrapper's count does not move";

    // AddRef and Release through the contained interfaces change only the
    // outer object's count, and return its values.
    EXPECT_EQ(filter->AddRef(), 3u);
    EXPECT_EQ(outer.references, 3);
    EXPECT_EQ(filter->Release(), 2u);
    EXPECT_EQ(filter->Release(), 1u);
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(WrapperCount(), 1);
}

TEST_F(Aggregation, ContainedQueriesGoToTheOuterObject)
{
    IFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
    IPersistFile* fromWrapper = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&fromWrapper)), S_OK);

    // IUnknown through a contained interface is the outer object's identity.
    outer.queries.clear();
    void* out = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IUnknown*>(&outer));
    static_cast<IUnknown*>(out)->Release();

    // The outer object forwards IPersistFile to the wrapper: the same
    // contained pointer comes back.
    ASSERT_EQ(filter->QueryInterface(IID_IPersistFile, &out), S_OK);
    EXPECT_EQ(out, fromWrapper);
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(outer.queries, (std::vector<std::string>{"IUnknown", "forwarded"}));

    // An interface that neither has: the outer object is asked, then the
    // filter's table, and both refuse.
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(filter->QueryInterface(IID_IPersist, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer.queries.back(), "forwarded");

    // Every pointer handed out counted on the outer object.
    int handedOut = outer.addRefs - outer.releases;
    EXPECT_EQ(handedOut, 2);
    filter->Release();
    fromWrapper->Release();
    EXPECT_EQ(outer.references, 1);
}

TEST_F(Aggregation, RefusedByTheOuterObjectAnsweredFromTheTable)
{
    IFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
    IPersistFile* third = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&third)), S_OK);
    IUnknown* first = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IWMFilter, reinterpret_cast<void**>(&first)), S_OK);

    // Through each contained pointer, a refused IPersistFile still comes
    // back as the contained object's third pointer, counted on the outer.
    outer.refusePersistFile = true;
    IUnknown* containedPointers[] = {first, filter, third};
    for (IUnknown* through : containedPointers) {
        outer.queries.clear();
        int addRefsBefore = outer.addRefs;
        void* out = nullptr;
        ASSERT_EQ(through->QueryInterface(IID_IPersistFile, &out), S_OK);
        EXPECT_EQ(out, third);
        EXPECT_EQ(outer.queries, (std::vector<std::string>{"refused"}));
        EXPECT_EQ(outer.addRefs, addRefsBefore + 1);
        static_cast<IUnknown*>(out)->Release();
    }
    // The same for IFilter, refused as well.
    outer.refuseFilter = true;
    void* out = nullptr;
    ASSERT_EQ(third->QueryInterface(IID_IFilter, &out), S_OK);
    EXPECT_EQ(out, filter);
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(WrapperCount(), 1);

    first->Release();
    filter->Release();
    third->Release();
    EXPECT_EQ(outer.references, 1);
}

TEST_F(Aggregation, WrapperCountZeroDestroysTheObject)
{
    IFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
    ULONG flags = 0;
    EXPECT_EQ(filter->Init(0, 0, nullptr, &flags), E_FAIL) << "no file bound";
    filter->Release();  // outer's count; the wrapper stays

    // A second reference on the wrapper keeps it; the last one destroys it
    // and gives the object's unit of the lock count back.
    IUnknown* inner = outer.inner;
    EXPECT_EQ(inner->AddRef(), 2u);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(MeasureLockCount(module, factory.get()), baseline + 1);
    EXPECT_EQ(inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(MeasureLockCount(module, factory.get()), baseline);
    EXPECT_EQ(outer.references, 1) << "the wrapper never held the outer object";
}

}  // namespace
}  // namespace trellan::test
