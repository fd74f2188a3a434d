// Type infos for types imported from stdole2.tlb. The stand-in does not load
// imported libraries; the standard OLE types it knows by GUID answer their
// name, kind and method-table size, so a reader can follow an interface's
// base to IUnknown. Any other imported type cannot be resolved.
#include "typelib_typeinfo.h"

#include <new>

namespace platform::typelib {
namespace {

struct StandardType {
    const char16_t* name;
    GUID guid;
    TYPEKIND kind;
    WORD methodCount;  // entries in the method table
    WORD typeFlags;
};

const StandardType standardTypes[] = {
    {u"IUnknown", {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, TKIND_INTERFACE, 3,
     TYPEFLAG_FHIDDEN},
    {u"IDispatch", {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, TKIND_INTERFACE, 7, 0},
};

bool IsStandardLibrary(const std::u16string& fileName)
{
    static const char16_t expected[] = u"STDOLE2.TLB";
    if (fileName.size() != sizeof expected / sizeof expected[0] - 1)
        return false;
    for (size_t i = 0; i < fileName.size(); ++i) {
        char16_t unit = fileName[i];
        if (unit >= u'a' && unit <= u'z')
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        if (unit != expected[i])
            return false;
    }
    return true;
}

class ImportedTypeInfo final : public TypeInfoBase {
public:
    ImportedTypeInfo(const StandardType& type, SYSKIND syskind) : type(type), syskind(syskind) {}

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** result) override
    {
        if (!result)
            return E_INVALIDARG;
        TYPEATTR* attributes = NewTypeAttr(type.guid, 0, type.kind);
        if (!attributes)
            return E_OUTOFMEMORY;
        const WORD pointerSize = syskind == SYS_WIN64 ? 8 : 4;
        attributes->cbSizeInstance = pointerSize;
        attributes->cbSizeVft = static_cast<WORD>(type.methodCount * pointerSize);
        attributes->cbAlignment = pointerSize;
        attributes->wTypeFlags = type.typeFlags;
        *result = attributes;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return TYPE_E_ELEMENTNOTFOUND; }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID member, BSTR* name, BSTR* helpString, DWORD* helpContext,
                                               BSTR* helpFile) override
    {
        if (member != MEMBERID_NIL)
            return TYPE_E_ELEMENTNOTFOUND;
        Text typeName{true, type.name};
        return CopyDocumentation(typeName, {}, 0, {}, name, helpString, helpContext, helpFile);
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo** typeInfo) override
    {
        if (typeInfo)
            *typeInfo = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }

    // Its library is not loaded.
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT*) override
    {
        if (library)
            *library = nullptr;
        return TYPE_E_CANTLOADLIBRARY;
    }

private:
    const StandardType& type;
    SYSKIND syskind;
};

}  // namespace

HRESULT CreateImportedTypeInfo(const ImportedType& imported, SYSKIND syskind, ITypeInfo** typeInfo)
{
    *typeInfo = nullptr;
    if (!imported.guidKnown || !IsStandardLibrary(imported.fileName))
        return TYPE_E_CANTLOADLIBRARY;
    for (const StandardType& type : standardTypes) {
        if (type.guid == imported.guid) {
            *typeInfo = new (std::nothrow) ImportedTypeInfo(type, syskind);
            return *typeInfo ? S_OK : E_OUTOFMEMORY;
        }
    }
    return TYPE_E_CANTLOADLIBRARY;
}

}  // namespace platform::typelib
