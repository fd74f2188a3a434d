// QueryInterfaceFromTable on a table made here, and the filter's table on a
// filter object made here. These
// link the server's static parts directly.
#include "interface_map.h"
#include "interface_tables.h"

#include "support/test_filter.h"
#include "trellan_ids.h"

#include <gtest/gtest.h>


namespace trellan::test {
namespace {

const IID IID_First = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const IID IID_Second = {0x22222222, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const IID IID_Nowhere = {0x66666666, 0, 0, {0, 0, 0, 0, 0, 0, 0, 6}};
// Differs from IID_First in the last byte only.
const IID IID_NearlyFirst = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 9}};

struct IFirst : IUnknown {};
struct ISecond : IUnknown {};

// An object with two interfaces and a count shared by both.
class TwoInterfaces final : public IFirst, public ISecond {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 0;
};

class InterfaceMap : public ::testing::Test {
protected:
    TwoInterfaces object;
    DWORD firstOffset = InterfaceOffset<IFirst, TwoInterfaces>();
    DWORD secondOffset = InterfaceOffset<ISecond, TwoInterfaces>();
};

TEST_F(InterfaceMap, OffsetEntries)
{
    const InterfaceMapEntry table[] = {
        {&IID_First, firstOffset},
        {&IID_Second, secondOffset},
        {nullptr, 0},
    };
    EXPECT_EQ(firstOffset, 0u);
    EXPECT_EQ(secondOffset, sizeof(void*));

    struct Case {
        const char* what;
        const IID* iid;
        HRESULT expected;
        IUnknown* pointer;
    };
    const Case cases[] = {
        {"first row", &IID_First, S_OK, static_cast<IFirst*>(&object)},
        {"second row", &IID_Second, S_OK, static_cast<ISecond*>(&object)},
        {"IUnknown is the first row's pointer", &IID_IUnknown, S_OK, static_cast<IFirst*>(&object)},
        {"not in the table", &IID_Nowhere, E_NOINTERFACE, nullptr},
        {"all 16 bytes compared", &IID_NearlyFirst, E_NOINTERFACE, nullptr},
    };
    for (const Case& c : cases) {
        ULONG referencesBefore = object.references;
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(QueryInterfaceFromTable(&object, table, *c.iid, &out), c.expected) << c.what;
        EXPECT_EQ(out, c.pointer) << c.what;
        EXPECT_EQ(object.references, referencesBefore + (c.pointer ? 1 : 0)) << c.what;
    }
    EXPECT_EQ(QueryInterfaceFromTable(&object, table, IID_First, nullptr), E_POINTER);
}

TEST(FilterTables, FilterTableOnAFilterObject)
{
    TestFilter filter;
    void* start = static_cast<WMFilter*>(&filter);
    struct Case {
        const IID* iid;
        void* pointer;
    };
    const Case cases[] = {
        {&IID_IUnknown, static_cast<IWMFilter*>(&filter)},
        {&IID_IWMFilter, static_cast<IWMFilter*>(&filter)},
        {&IID_IFilter, static_cast<IFilter*>(&filter)},
        {&IID_IPersistFile, static_cast<IPersistFile*>(&filter)},
        {&IID_IPersistStream, static_cast<IPersistStream*>(&filter)},
        {&IID_IInitializeWithStream, static_cast<IInitializeWithStream*>(&filter)},
        {&IID_IPersist, nullptr},
        {&IID_IClassFactory, nullptr},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(QueryInterfaceFromTable(start, FilterInterfaceTable, *c.iid, &out), c.pointer ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(out, c.pointer);
        if (out)
            static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(FilterInterfaceTable[5].iid, nullptr);
    EXPECT_EQ(FactoryInterfaceTable[0].offset, 0u);
    EXPECT_TRUE(IsEqualGUID(*FactoryInterfaceTable[0].iid, IID_IClassFactory));
    EXPECT_EQ(FactoryInterfaceTable[1].iid, nullptr);
}

}  // namespace
}  // namespace trellan::test
