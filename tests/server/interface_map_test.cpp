// QueryInterfaceFromTable on tables made here (offset and function
// entries), and the filter's table on a filter object made here. These
// link the server's static parts directly.
#include "interface_map.h"
#include "interface_tables.h"

#include "support/test_filter.h"
#include "trellan_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trellan::test {
namespace {

const IID IID_First = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const IID IID_Second = {0x22222222, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const IID IID_Resolved = {0x33333333, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};
const IID IID_Refused = {0x44444444, 0, 0, {0, 0, 0, 0, 0, 0, 0, 4}};
const IID IID_Skipped = {0x55555555, 0, 0, {0, 0, 0, 0, 0, 0, 0, 5}};
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

// What the resolvers were called with, and what they answer.
struct ResolverCall {
    void* object;
    IID iid;
    DWORD argument;
};
std::vector<ResolverCall> calls;
IUnknown* resolvedPointer = nullptr;

HRESULT WINAPI Record(void* object, REFIID iid, DWORD argument)
{
    calls.push_back({object, iid, argument});
    return S_OK;
}

HRESULT WINAPI ResolveHere(void* object, REFIID iid, void** out, DWORD argument)
{
    Record(object, iid, argument);
    *out = resolvedPointer;
    resolvedPointer->AddRef();
    return S_OK;
}

HRESULT WINAPI RefuseWithFailure(void* object, REFIID iid, void** out, DWORD argument)
{
    Record(object, iid, argument);
    return E_ACCESSDENIED;
}

HRESULT WINAPI PassWithSuccess(void* object, REFIID iid, void** out, DWORD argument)
{
    Record(object, iid, argument);
    return S_FALSE;
}

class InterfaceMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        resolvedPointer = static_cast<ISecond*>(&object);
    }

    TwoInterfaces object;
    DWORD firstOffset = InterfaceOffset<IFirst, TwoInterfaces>();
    DWORD secondOffset = InterfaceOffset<ISecond, TwoInterfaces>();
};

TEST_F(InterfaceMap, OffsetEntries)
{
    const InterfaceMapEntry table[] = {
        {&IID_First, firstOffset, offsetEntry},
        {&IID_Second, secondOffset, offsetEntry},
        {nullptr, 0, endOfInterfaceTable},
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

TEST_F(InterfaceMap, FunctionEntries)
{
    // The offset field is the resolver's argument.
    const InterfaceMapEntry table[] = {
        {&IID_First, firstOffset, offsetEntry},
        {&IID_Skipped, 11, FunctionEntry(PassWithSuccess)},
        {&IID_Skipped, secondOffset, offsetEntry},
        {&IID_Refused, 22, FunctionEntry(RefuseWithFailure)},
        {&IID_Refused, secondOffset, offsetEntry},
        {&IID_Resolved, 33, FunctionEntry(ResolveHere)},
        {nullptr, 0, endOfInterfaceTable},
    };

    struct Case {
        const char* what;
        const IID* iid;
        HRESULT expected;
        IUnknown* pointer;
        std::vector<DWORD> resolversCalled;  // their arguments, in order
    };
    const Case cases[] = {
        {"a success other than S_OK moves on to the next row", &IID_Skipped, S_OK,
         static_cast<ISecond*>(&object), {11}},
        {"a failure of a row with an iid is returned at once", &IID_Refused, E_ACCESSDENIED, nullptr, {22}},
        {"S_OK is returned with the resolver's pointer", &IID_Resolved, S_OK, static_cast<ISecond*>(&object), {33}},
        {"rows for other ids are not called", &IID_Nowhere, E_NOINTERFACE, nullptr, {}},
        {"IUnknown calls no resolver", &IID_IUnknown, S_OK, static_cast<IFirst*>(&object), {}},
    };
    for (const Case& c : cases) {
        calls.clear();
        ULONG referencesBefore = object.references;
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(QueryInterfaceFromTable(&object, table, *c.iid, &out), c.expected) << c.what;
        EXPECT_EQ(out, c.pointer) << c.what;
        EXPECT_EQ(object.references, referencesBefore + (c.pointer ? 1 : 0)) << c.what;
        std::vector<DWORD> arguments;
        for (const ResolverCall& call : calls) {
            arguments.push_back(call.argument);
            EXPECT_EQ(call.object, &object) << c.what;
            EXPECT_TRUE(IsEqualGUID(call.iid, *c.iid)) << c.what;
        }
        EXPECT_EQ(arguments, c.resolversCalled) << c.what;
    }
}

TEST_F(InterfaceMap, RowsWithoutAnIidMatchEveryId)
{
    // Without an iid, anything but S_OK moves on, failures included.
    const InterfaceMapEntry table[] = {
        {&IID_First, firstOffset, offsetEntry},
        {nullptr, 1, FunctionEntry(RefuseWithFailure)},
        {nullptr, 2, FunctionEntry(PassWithSuccess)},
        {&IID_Second, secondOffset, offsetEntry},
        {nullptr, 3, FunctionEntry(ResolveHere)},
        {nullptr, 0, endOfInterfaceTable},
    };
    struct Case {
        const char* what;
        const IID* iid;
        std::vector<DWORD> resolversCalled;
    };
    const Case cases[] = {
        {"the table's offset row after two refusals", &IID_Second, {1, 2}},
        {"the last resolver answers any other id", &IID_Nowhere, {1, 2, 3}},
        {"a row with an iid ahead of them wins", &IID_First, {}},
    };
    for (const Case& c : cases) {
        calls.clear();
        void* out = nullptr;
        EXPECT_EQ(QueryInterfaceFromTable(&object, table, *c.iid, &out), S_OK) << c.what;
        std::vector<DWORD> arguments;
        for (const ResolverCall& call : calls)
            arguments.push_back(call.argument);
        EXPECT_EQ(arguments, c.resolversCalled) << c.what;
        static_cast<IUnknown*>(out)->Release();
    }

    // Only refusals: E_NOINTERFACE, with nothing left in *out.
    const InterfaceMapEntry refusing[] = {
        {&IID_First, firstOffset, offsetEntry},
        {nullptr, 1, FunctionEntry(RefuseWithFailure)},
        {nullptr, 2, FunctionEntry(PassWithSuccess)},
        {nullptr, 0, endOfInterfaceTable},
    };
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(QueryInterfaceFromTable(&object, refusing, IID_Nowhere, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
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
    EXPECT_EQ(FilterInterfaceTable[3].resolver, endOfInterfaceTable);
    EXPECT_EQ(FactoryInterfaceTable[0].offset, 0u);
    EXPECT_TRUE(IsEqualGUID(*FactoryInterfaceTable[0].iid, IID_IClassFactory));
    EXPECT_EQ(FactoryInterfaceTable[1].resolver, endOfInterfaceTable);
}

}  // namespace
}  // namespace trellan::test
