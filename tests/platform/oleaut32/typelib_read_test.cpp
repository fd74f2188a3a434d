// The filter's type library read back, from the compiled .tlb and from the
// TYPELIB resource of a module that carries it.
#include "platform/platform_test_support.h"

namespace trellan::test {
namespace {

const GUID libraryId = {0x26FF8391, 0xCEFA, 0x44AC, {0xAB, 0x73, 0x8B, 0x41, 0x58, 0xF1, 0x64, 0x29}};
const GUID filterClassId = {0x5469E55E, 0xCBFD, 0x4CDD, {0xBF, 0x6D, 0xE2, 0x9E, 0x3B, 0xE3, 0xE6, 0x2D}};
const GUID filterInterfaceId = {0x8B46CE21, 0xE4A7, 0x4D5B, {0x94, 0xE2, 0x61, 0xC3, 0xAD, 0xB2, 0xE6, 0xE7}};

struct Documentation {
    std::string name, help;
    DWORD context = 0xDEAD;
    std::string helpFile;
};

template <typename Object, typename Key>
Documentation Document(Object* object, Key key)
{
    BSTR name = nullptr, help = nullptr, file = nullptr;
    Documentation result;
    HRESULT hr = object->GetDocumentation(key, &name, &help, &result.context, &file);
    EXPECT_EQ(hr, S_OK);
    OwnedBstr n(name), h(help), f(file);
    result.name = Text(name);
    result.help = Text(help);
    result.helpFile = Text(file);
    return result;
}

struct TypeAttr {
    explicit TypeAttr(ITypeInfo* info) : info(info) { EXPECT_EQ(info->GetTypeAttr(&attr), S_OK); }
    ~TypeAttr()
    {
        if (attr)
            info->ReleaseTypeAttr(attr);
    }
    ITypeInfo* info;
    TYPEATTR* attr = nullptr;
};

Owned<ITypeLib> Load(const std::u16string& path, HRESULT expected = S_OK)
{
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLib(path.c_str(), &library), expected) << Utf8(path);
    if (FAILED(expected)) {
        EXPECT_EQ(library, nullptr);
    }
    return Owned<ITypeLib>(library);
}

void ExpectFilterLibrary(ITypeLib* library)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, libraryId);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->wLibFlags, 0);
    library->ReleaseTLibAttr(attributes);

    Documentation own = Document(library, -1);
    EXPECT_EQ(own.name, "TRELLANLib");
    EXPECT_EQ(own.help, "Trellan 1.0 Type Library");
    EXPECT_EQ(own.context, 0u);
    EXPECT_EQ(own.helpFile, "<null>");

    // The two types in order, as the library lists them.
    struct Expected {
        const char* name;
        TYPEKIND kind;
        GUID id;
        const char* help;
        WORD typeFlags;
        WORD implemented;
        WORD vtableBytes;
    } expected[] = {
        {"WMFilter", TKIND_COCLASS, filterClassId, "WMFilter Class", TYPEFLAG_FCANCREATE, 1, 0},
        // IUnknown's three entries of a 32-bit pointer, as stored.
        {"IWMFilter", TKIND_INTERFACE, filterInterfaceId, "IWMFilter Interface", 0, 1, 12},
    };
    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    for (UINT index = 0; index < 2; ++index) {
        const Expected& row = expected[index];
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(library->GetTypeInfoType(index, &kind), S_OK);
        EXPECT_EQ(kind, row.kind);
        Documentation listed = Document(library, static_cast<INT>(index));
        EXPECT_EQ(listed.name, row.name);
        EXPECT_EQ(listed.help, row.help);

        ITypeInfo* raw = nullptr;
        ASSERT_EQ(library->GetTypeInfo(index, &raw), S_OK);
        Owned<ITypeInfo> info(raw);
        TypeAttr attr(info.get());
        ASSERT_NE(attr.attr, nullptr);
        EXPECT_EQ(attr.attr->guid, row.id) << row.name;
        EXPECT_EQ(attr.attr->typekind, row.kind) << row.name;
        EXPECT_EQ(attr.attr->wTypeFlags, row.typeFlags) << row.name;
        EXPECT_EQ(attr.attr->cImplTypes, row.implemented) << row.name;
        EXPECT_EQ(attr.attr->cbSizeVft, row.vtableBytes) << row.name;
        EXPECT_EQ(attr.attr->cFuncs, 0) << row.name;
        EXPECT_EQ(attr.attr->cVars, 0) << row.name;
        EXPECT_EQ(attr.attr->wMajorVerNum, 0) << row.name;
        EXPECT_EQ(attr.attr->wMinorVerNum, 0) << row.name;
        EXPECT_EQ(attr.attr->lcid, 0u) << row.name;
        Documentation own = Document(info.get(), MEMBERID_NIL);
        EXPECT_EQ(own.name, row.name);
        EXPECT_EQ(own.help, row.help);
        EXPECT_EQ(own.context, 0u);

        ITypeLib* container = nullptr;
        UINT containerIndex = 99;
        EXPECT_EQ(info->GetContainingTypeLib(&container, &containerIndex), S_OK);
        EXPECT_EQ(container, library);
        EXPECT_EQ(containerIndex, index);
        if (container)
            container->Release();

        ITypeInfo* byGuid = nullptr;
        ASSERT_EQ(library->GetTypeInfoOfGuid(row.id, &byGuid), S_OK);
        EXPECT_EQ(Document(byGuid, MEMBERID_NIL).name, row.name);
        byGuid->Release();
    }
}

// The coclass implements IWMFilter as its default; IWMFilter's base is
// IUnknown from stdole2.tlb.
void ExpectImplementedInterfaces(ITypeLib* library)
{
    ITypeInfo* raw = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(filterClassId, &raw), S_OK);
    Owned<ITypeInfo> coclass(raw);
    HREFTYPE reference = 0;
    INT flags = -1;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(coclass->GetRefTypeOfImplType(1, &reference), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(coclass->GetImplTypeFlags(1, &flags), TYPE_E_ELEMENTNOTFOUND);
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, &raw), S_OK);
    Owned<ITypeInfo> filterInterface(raw);
    EXPECT_EQ(Document(filterInterface.get(), MEMBERID_NIL).name, "IWMFilter");

    ASSERT_EQ(filterInterface->GetRefTypeOfImplType(0, &reference), S_OK);
    EXPECT_EQ(filterInterface->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, 0);
    ASSERT_EQ(filterInterface->GetRefTypeInfo(reference, &raw), S_OK);
    Owned<ITypeInfo> base(raw);
    EXPECT_EQ(Document(base.get(), MEMBERID_NIL).name, "IUnknown");
    TypeAttr baseAttr(base.get());
    ASSERT_NE(baseAttr.attr, nullptr);
    EXPECT_EQ(baseAttr.attr->guid, IID_IUnknown);
    EXPECT_EQ(baseAttr.attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(baseAttr.attr->cbSizeVft, 12);
    ITypeLib* container = nullptr;
    EXPECT_EQ(base->GetContainingTypeLib(&container, nullptr), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(container, nullptr);

    EXPECT_EQ(coclass->GetRefTypeInfo(0x12345670, &raw), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(raw, nullptr);
}

TEST(TypeLibraryRead, FromTheCompiledFile)
{
    Owned<ITypeLib> library = Load(Utf16(TYPELIB_TEST_TLB));
    ASSERT_TRUE(library);
    ExpectFilterLibrary(library.get());
    ExpectImplementedInterfaces(library.get());
}

TEST(TypeLibraryRead, FromTheModulesTypelibResource)
{
    const std::u16string module = Utf16(TYPELIB_TEST_MODULE);
    for (const std::u16string& path : {module, module + u"\\1"}) {
        Owned<ITypeLib> library = Load(path);
        ASSERT_TRUE(library) << Utf8(path);
        ExpectFilterLibrary(library.get());
        ExpectImplementedInterfaces(library.get());
    }
    // The library outlives the data-file load and its type infos outlive it.
    ITypeInfo* survivor = nullptr;
    {
        Owned<ITypeLib> library = Load(module);
        ASSERT_TRUE(library);
        ASSERT_EQ(library->GetTypeInfo(1, &survivor), S_OK);
    }
    EXPECT_EQ(Document(survivor, MEMBERID_NIL).name, "IWMFilter");
    survivor->Release();
}

TEST(TypeLibraryRead, PathsWithoutALibraryAreRefused)
{
    ScratchDirectory scratch;
    WriteBytes(scratch.Path("notes.txt"), {'M', 'S', 'F', 'X', 0, 0, 0, 0});
    const std::u16string module = Utf16(TYPELIB_TEST_MODULE);
    struct Case {
        std::u16string path;
        HRESULT expected;
    } cases[] = {
        {Utf16(scratch.Path("missing.tlb")), TYPE_E_CANTLOADLIBRARY},
        {Utf16(scratch.Path("notes.txt")), TYPE_E_CANTLOADLIBRARY},
        {Utf16(scratch.Path("notes.txt")) + u"\\1", TYPE_E_CANTLOADLIBRARY},
        {Utf16(TYPELIB_TEST_BARE_MODULE), TYPE_E_CANTLOADLIBRARY},
        {module + u"\\2", TYPE_E_CANTLOADLIBRARY},
        {module + u"\\x", TYPE_E_CANTLOADLIBRARY},
        {u"", TYPE_E_CANTLOADLIBRARY},
    };
    for (const Case& row : cases)
        Load(row.path, row.expected);
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);
    EXPECT_EQ(LoadTypeLib(module.c_str(), nullptr), E_INVALIDARG);
}

TEST(TypeLibraryRead, NamesAndUnsupportedSlots)
{
    Owned<ITypeLib> library = Load(Utf16(TYPELIB_TEST_TLB));
    ASSERT_TRUE(library);
    struct NameCase {
        std::u16string name;
        BOOL found;
    } names[] = {{u"WMFilter", TRUE}, {u"iwmfilter", TRUE}, {u"IWMFilt", FALSE}, {u"IUnknown", FALSE}};
    for (NameCase& row : names) {
        BOOL found = -1;
        EXPECT_EQ(library->IsName(row.name.data(), 0, &found), S_OK);
        EXPECT_EQ(found, row.found) << Utf8(row.name);
    }
    std::u16string wanted = u"WMFILTER";
    ITypeInfo* infos[2] = {};
    MEMBERID ids[2] = {};
    USHORT count = 2;
    ASSERT_EQ(library->FindName(wanted.data(), 0, infos, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(ids[0], MEMBERID_NIL);
    EXPECT_EQ(Document(infos[0], MEMBERID_NIL).name, "WMFilter");
    infos[0]->Release();

    ITypeInfo* raw = nullptr;
    EXPECT_EQ(library->GetTypeInfo(2, &raw), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IUnknown, &raw), TYPE_E_ELEMENTNOTFOUND);
    BSTR name = nullptr;
    EXPECT_EQ(library->GetDocumentation(2, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    ITypeComp* comp = nullptr;
    EXPECT_EQ(library->GetTypeComp(&comp), E_NOTIMPL);

    ASSERT_EQ(library->GetTypeInfo(0, &raw), S_OK);
    Owned<ITypeInfo> info(raw);
    FUNCDESC* function = nullptr;
    EXPECT_EQ(info->GetFuncDesc(0, &function), E_NOTIMPL);
    EXPECT_EQ(info->GetDocumentation(1, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info->Invoke(nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
    void* object = nullptr;
    EXPECT_EQ(info->CreateInstance(nullptr, IID_IUnknown, &object), E_NOTIMPL);
    EXPECT_EQ(info->QueryInterface(IID_ITypeLib, &object), E_NOINTERFACE);
    EXPECT_EQ(info->QueryInterface(IID_ITypeInfo, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
}

}  // namespace
}  // namespace trellan::test
