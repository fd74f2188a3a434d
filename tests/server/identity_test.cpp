// The stand-alone filter object's identity and interfaces, through the
// loaded module.
#include "support/loaded_module.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

const IID* const filterInterfaces[] = {&IID_IWMFilter, &IID_IFilter, &IID_IPersistFile};
const char* const interfaceNames[] = {"IWMFilter", "IFilter", "IPersistFile"};

TEST(FilterIdentity, NewObjectHasOneReference)
{
    LoadedModule module;
    ComPtr<IClassFactory> factory(module.Factory());
    ASSERT_TRUE(factory);
    for (const IID* iid : filterInterfaces) {
        IUnknown* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, *iid, reinterpret_cast<void**>(&object)), S_OK);
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object->Release(), 0u);
    }
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.ReceiveVoid()), S_OK);
    EXPECT_EQ(unknown->AddRef(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
}

TEST(FilterIdentity, QueryInterfaceRulesThroughEveryPointer)
{
    LoadedModule module;
    ComPtr<IClassFactory> factory(module.Factory());
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), S_OK);

    // The three interface pointers, each distinct; IWMFilter is the identity.
    IUnknown* pointers[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(object->QueryInterface(*filterInterfaces[i], reinterpret_cast<void**>(&pointers[i])), S_OK)
            << interfaceNames[i];
    }
    EXPECT_EQ(pointers[0], object.Get()) << "IWMFilter is the object's IUnknown";
    EXPECT_NE(pointers[1], pointers[0]);
    EXPECT_NE(pointers[2], pointers[0]);
    EXPECT_NE(pointers[2], pointers[1]);

    // From every pointer: IUnknown gives the identity; each interface gives
    // its own pointer (reflexive, symmetric, transitive); IPersist and
    // IClassFactory are refused with a null out.
    for (int from = 0; from < 3; ++from) {
        IUnknown* through = pointers[from];
        void* out = nullptr;
        ASSERT_EQ(through->QueryInterface(IID_IUnknown, &out), S_OK) << interfaceNames[from];
        EXPECT_EQ(out, object.Get()) << "IUnknown through " << interfaceNames[from];
        static_cast<IUnknown*>(out)->Release();
        for (int to = 0; to < 3; ++to) {
            out = nullptr;
            ASSERT_EQ(through->QueryInterface(*filterInterfaces[to], &out), S_OK);
            EXPECT_EQ(out, pointers[to]) << interfaceNames[to] << " through " << interfaceNames[from];
            static_cast<IUnknown*>(out)->Release();
        }
        const IID* refused[] = {&IID_IPersist, &IID_IClassFactory, &GUID_NULL, &CLSID_WMFilter};
        for (const IID* iid : refused) {
            out = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(through->QueryInterface(*iid, &out), E_NOINTERFACE) << "through " << interfaceNames[from];
            EXPECT_EQ(out, nullptr);
        }
        EXPECT_EQ(through->QueryInterface(IID_IFilter, nullptr), E_POINTER);
    }

    // AddRef and Release through any pointer move the one count.
    ULONG expected = 4;  // object, plus the three pointers queried above
    for (IUnknown* pointer : pointers) {
        EXPECT_EQ(pointer->AddRef(), expected + 1);
        EXPECT_EQ(pointer->Release(), expected);
    }
    for (IUnknown* pointer : pointers)
        EXPECT_EQ(pointer->Release(), --expected);
    EXPECT_EQ(expected, 1u);
}

TEST(FilterIdentity, ObjectsWorkThroughTheirInterfaces)
{
    LoadedModule module;
    ComPtr<IClassFactory> factory(module.Factory());
    ComPtr<IPersistFile> file;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, file.ReceiveVoid()), S_OK);
    CLSID classId{};
    EXPECT_EQ(file->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, CLSID_WMFilter));

    // No file bound: Init fails, and the walk still gives four chunks.
    ComPtr<IFilter> filter;
    ASSERT_EQ(file->QueryInterface(IID_IFilter, filter.ReceiveVoid()), S_OK);
    ULONG flags = 1;
    EXPECT_EQ(filter->Init(0, 0, nullptr, &flags), E_FAIL);
    STAT_CHUNK chunk{};
    for (ULONG id = 1; id <= 4; ++id) {
        ASSERT_EQ(filter->GetChunk(&chunk), S_OK);
        EXPECT_EQ(chunk.idChunk, id);
    }
    EXPECT_EQ(filter->GetChunk(&chunk), FILTER_E_END_OF_CHUNKS);
}

}  // namespace
}  // namespace trellan::test
