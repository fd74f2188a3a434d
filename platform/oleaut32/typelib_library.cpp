// ITypeLib over a library record: attributes, documentation, and the type
// infos by index, by GUID and by name.
#include "typelib_objects.h"

#include <new>

namespace platform::typelib {
namespace {

bool SameNameIgnoringCase(const std::u16string& a, LPCOLESTR b)
{
    size_t i = 0;
    for (; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (y == 0)
            return false;
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - u'a' + u'A');
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - u'a' + u'A');
        if (x != y)
            return false;
    }
    return b[i] == 0;
}

class TypeLibrary final : public Counted<ITypeLib> {
public:
    explicit TypeLibrary(SharedLibrary record) : Counted(IID_ITypeLib), record(std::move(record)) {}

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(record->types.size()); }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** typeInfo) override
    {
        if (!typeInfo)
            return E_INVALIDARG;
        *typeInfo = nullptr;
        if (index >= record->types.size())
            return TYPE_E_ELEMENTNOTFOUND;
        return CreateLocalTypeInfo(this, record, index, typeInfo);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override
    {
        if (!kind)
            return E_INVALIDARG;
        if (index >= record->types.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *kind = record->types[index].kind;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) override
    {
        if (!typeInfo)
            return E_INVALIDARG;
        *typeInfo = nullptr;
        for (size_t i = 0; i < record->types.size(); ++i)
            if (record->types[i].guid == guid)
                return CreateLocalTypeInfo(this, record, static_cast<UINT>(i), typeInfo);
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attributes) override
    {
        if (!attributes)
            return E_INVALIDARG;
        *attributes = static_cast<TLIBATTR*>(CoTaskMemAlloc(sizeof(TLIBATTR)));
        if (!*attributes)
            return E_OUTOFMEMORY;
        **attributes = record->attributes;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) override
    {
        if (typeComp)
            *typeComp = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* helpString, DWORD* helpContext,
                                               BSTR* helpFile) override
    {
        if (index == -1)
            return CopyDocumentation(record->name, record->helpString, record->helpContext, record->helpFile, name,
                                     helpString, helpContext, helpFile);
        if (index < 0 || static_cast<size_t>(index) >= record->types.size())
            return TYPE_E_ELEMENTNOTFOUND;
        const TypeInfoRecord& type = record->types[index];
        return CopyDocumentation(type.name, type.helpString, type.helpContext, record->helpFile, name, helpString,
                                 helpContext, helpFile);
    }

    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) override
    {
        if (!name || !found)
            return E_INVALIDARG;
        *found = FALSE;
        for (const TypeInfoRecord& type : record->types)
            if (type.name.present && SameNameIgnoringCase(type.name.value, name))
                *found = TRUE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** typeInfos, MEMBERID* memberIds,
                                       USHORT* count) override
    {
        if (!name || !typeInfos || !memberIds || !count)
            return E_INVALIDARG;
        USHORT found = 0;
        for (size_t i = 0; i < record->types.size() && found < *count; ++i) {
            if (!record->types[i].name.present || !SameNameIgnoringCase(record->types[i].name.value, name))
                continue;
            HRESULT result = CreateLocalTypeInfo(this, record, static_cast<UINT>(i), &typeInfos[found]);
            if (FAILED(result)) {
                while (found > 0)
                    typeInfos[--found]->Release();
                *count = 0;
                return result;
            }
            memberIds[found++] = MEMBERID_NIL;
        }
        *count = found;
        return S_OK;
    }

    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attributes) override { CoTaskMemFree(attributes); }

private:
    SharedLibrary record;
};

// One optional BSTR output; freed again unless the whole call succeeds.
class TextOut {
public:
    explicit TextOut(BSTR* target) : target(target)
    {
        if (target)
            *target = nullptr;
    }
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;
    ~TextOut()
    {
        if (target && !kept) {
            SysFreeString(*target);
            *target = nullptr;
        }
    }
    bool Fill(const Text& text)
    {
        if (!target || !text.present)
            return true;
        *target = SysAllocStringLen(text.value.data(), static_cast<UINT>(text.value.size()));
        return *target != nullptr;
    }
    void Keep() { kept = true; }

private:
    BSTR* target;
    bool kept = false;
};

}  // namespace

HRESULT CopyDocumentation(const Text& name, const Text& helpString, DWORD helpContext, const Text& helpFile,
                          BSTR* nameOut, BSTR* helpStringOut, DWORD* helpContextOut, BSTR* helpFileOut)
{
    TextOut names(nameOut), helpStrings(helpStringOut), helpFiles(helpFileOut);
    if (!names.Fill(name) || !helpStrings.Fill(helpString) || !helpFiles.Fill(helpFile))
        return E_OUTOFMEMORY;
    if (helpContextOut)
        *helpContextOut = helpContext;
    names.Keep();
    helpStrings.Keep();
    helpFiles.Keep();
    return S_OK;
}

HRESULT CreateTypeLibrary(SharedLibrary record, ITypeLib** library)
{
    *library = new (std::nothrow) TypeLibrary(std::move(record));
    return *library ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform::typelib
