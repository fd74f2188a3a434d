// The type library that the module carries, read by the platform's own
// LoadTypeLibEx from the module file: the attributes that registration
// writes come from here.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

namespace trellan::windows_test {
namespace {

using Text = std::basic_string<WCHAR>;

// Owns a BSTR handed out by the platform.
class OwnedBstr {
public:
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    BSTR* Receive() { return &text; }
    Text Get() const { return text ? Text(text) : Text(); }

private:
    BSTR text = nullptr;
};

TEST(TypeLibrary, AttributesAndTypes)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Source().ModulePath().c_str(), REGKIND_NONE, library.Receive()), S_OK);

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_TRELLANLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0u);
    // Compiled for the module's own Windows, so that registration files it
    // under "win32" or "win64".
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    // The library sets no flags of its own; the platform may add that it
    // was loaded from a disk image.
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(attributes);

    OwnedBstr name;
    OwnedBstr help;
    ASSERT_EQ(library->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Get(), Text(OLESTR("TRELLANLib")));
    EXPECT_EQ(help.Get(), Text(OLESTR("Trellan 1.0 Type Library")));

    struct TypeRow {
        const GUID* id;
        TYPEKIND kind;
        const WCHAR* name;
    };
    const TypeRow types[] = {
        {&CLSID_WMFilter, TKIND_COCLASS, OLESTR("WMFilter")},
        {&IID_IWMFilter, TKIND_INTERFACE, OLESTR("IWMFilter")},
    };
    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    for (UINT index = 0; index < 2; ++index) {
        const TypeRow& row = types[index];
        TYPEKIND kind{};
        EXPECT_EQ(library->GetTypeInfoType(index, &kind), S_OK);
        EXPECT_EQ(kind, row.kind) << index;
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*row.id, info.Receive()), S_OK) << index;
        OwnedBstr typeName;
        EXPECT_EQ(library->GetDocumentation(static_cast<INT>(index), typeName.Receive(), nullptr, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(typeName.Get(), Text(row.name)) << index;
    }
}

}  // namespace
}  // namespace trellan::windows_test
