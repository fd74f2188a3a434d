// ITypeInfo for a type of a loaded library: attributes, documentation and
// the implemented interfaces (a coclass's interfaces, an interface's base).
#include "typelib_typeinfo.h"

#include <new>

namespace platform::typelib {
namespace {

class LocalTypeInfo final : public TypeInfoBase {
public:
    LocalTypeInfo(ITypeLib* owner, SharedLibrary record, UINT index)
        : owner(owner), record(std::move(record)), index(index)
    {
        owner->AddRef();
    }
    ~LocalTypeInfo() override { owner->Release(); }

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** result) override
    {
        if (!result)
            return E_INVALIDARG;
        const TypeInfoRecord& type = Type();
        TYPEATTR* attributes = NewTypeAttr(type.guid, record->attributes.lcid, type.kind);
        if (!attributes)
            return E_OUTOFMEMORY;
        attributes->cbSizeInstance = type.instanceSize;
        attributes->cFuncs = type.functionCount;
        attributes->cVars = type.variableCount;
        attributes->cImplTypes = static_cast<WORD>(type.implemented.size());
        attributes->cbSizeVft = type.vtableSize;
        attributes->cbAlignment = type.alignment;
        attributes->wTypeFlags = type.typeFlags;
        attributes->wMajorVerNum = type.majorVersion;
        attributes->wMinorVerNum = type.minorVersion;
        *result = attributes;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT implIndex, HREFTYPE* reference) override
    {
        if (!reference)
            return E_INVALIDARG;
        const TypeInfoRecord& type = Type();
        if (implIndex >= type.implemented.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *reference = type.implemented[implIndex].reference;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT implIndex, INT* flags) override
    {
        if (!flags)
            return E_INVALIDARG;
        const TypeInfoRecord& type = Type();
        if (implIndex >= type.implemented.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *flags = type.kind == TKIND_COCLASS ? type.implemented[implIndex].flags : 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID member, BSTR* name, BSTR* helpString, DWORD* helpContext,
                                               BSTR* helpFile) override
    {
        if (member != MEMBERID_NIL)
            return TYPE_E_ELEMENTNOTFOUND;
        const TypeInfoRecord& type = Type();
        return CopyDocumentation(type.name, type.helpString, type.helpContext, record->helpFile, name, helpString,
                                 helpContext, helpFile);
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE reference, ITypeInfo** typeInfo) override
    {
        if (!typeInfo)
            return E_INVALIDARG;
        *typeInfo = nullptr;
        UINT target = 0;
        if (record->LocalType(reference, &target))
            return CreateLocalTypeInfo(owner, record, target, typeInfo);
        if (const ImportedType* imported = record->Import(reference))
            return CreateImportedTypeInfo(*imported, record->attributes.syskind, typeInfo);
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT* libraryIndex) override
    {
        if (!library)
            return E_INVALIDARG;
        owner->AddRef();
        *library = owner;
        if (libraryIndex)
            *libraryIndex = index;
        return S_OK;
    }

private:
    const TypeInfoRecord& Type() const { return record->types[index]; }

    ITypeLib* owner;
    SharedLibrary record;
    UINT index;
};

}  // namespace

HRESULT CreateLocalTypeInfo(ITypeLib* owner, SharedLibrary record, UINT index, ITypeInfo** typeInfo)
{
    *typeInfo = new (std::nothrow) LocalTypeInfo(owner, std::move(record), index);
    return *typeInfo ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform::typelib
