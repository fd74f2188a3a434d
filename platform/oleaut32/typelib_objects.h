// The ITypeLib and ITypeInfo objects over a library record.
#pragma once

#include "typelib_model.h"

#include <atomic>
#include <memory>

namespace platform::typelib {

using SharedLibrary = std::shared_ptr<const LibraryRecord>;

// A new ITypeLib (reference count 1) over `record`.
HRESULT CreateTypeLibrary(SharedLibrary record, ITypeLib** library);

// A new ITypeInfo for type `index` of `owner`, whose library it keeps alive.
HRESULT CreateLocalTypeInfo(ITypeLib* owner, SharedLibrary record, UINT index, ITypeInfo** typeInfo);

// A new ITypeInfo standing for an imported type: its name, kind and GUID
// when it is one of the standard OLE types that stdole2.tlb defines;
// TYPE_E_CANTLOADLIBRARY otherwise, since imported libraries are not loaded.
HRESULT CreateImportedTypeInfo(const ImportedType& imported, SYSKIND syskind, ITypeInfo** typeInfo);

// Fills the optional BSTR outputs of GetDocumentation; on failure every
// output is null and nothing is leaked.
HRESULT CopyDocumentation(const Text& name, const Text& helpString, DWORD helpContext, const Text& helpFile,
                          BSTR* nameOut, BSTR* helpStringOut, DWORD* helpContextOut, BSTR* helpFileOut);

// Reference counting and QueryInterface for one interface besides IUnknown.
template <typename Interface>
class Counted : public Interface {
public:
    Counted(const IID& iid) : iid(iid) {}
    virtual ~Counted() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == iid) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --count;
        if (left == 0)
            delete this;
        return left;
    }

private:
    const IID& iid;
    std::atomic<ULONG> count{1};
};

}  // namespace platform::typelib
