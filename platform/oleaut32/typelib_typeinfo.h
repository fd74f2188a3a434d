// The slots that every type info of this stand-in answers alike: members
// (functions and variables) are not described, so the member slots answer
// E_NOTIMPL or TYPE_E_ELEMENTNOTFOUND.
#pragma once

#include "typelib_objects.h"

namespace platform::typelib {

class TypeInfoBase : public Counted<ITypeInfo> {
public:
    TypeInfoBase() : Counted(IID_ITypeInfo) {}

    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) override
    {
        if (typeComp)
            *typeComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC** description) override
    {
        if (description)
            *description = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** description) override
    {
        if (description)
            *description = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT* count) override
    {
        if (count)
            *count = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* object) override
    {
        if (object)
            *object = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* mops) override
    {
        if (mops)
            *mops = nullptr;
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attributes) override { CoTaskMemFree(attributes); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

protected:
    // A TYPEATTR from the task allocator with the fields every kind shares.
    static TYPEATTR* NewTypeAttr(const GUID& guid, LCID lcid, TYPEKIND kind)
    {
        auto* attributes = static_cast<TYPEATTR*>(CoTaskMemAlloc(sizeof(TYPEATTR)));
        if (!attributes)
            return nullptr;
        std::memset(attributes, 0, sizeof *attributes);
        attributes->guid = guid;
        attributes->lcid = lcid;
        attributes->memidConstructor = MEMBERID_NIL;
        attributes->memidDestructor = MEMBERID_NIL;
        attributes->typekind = kind;
        return attributes;
    }
};

}  // namespace platform::typelib
