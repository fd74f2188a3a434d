// The component-categories manager's ICatRegister over the registry:
//
//   HKCR\Component Categories\{catid}                 "<lcid hex>" = description
//   HKCR\CLSID\{clsid}\Implemented Categories\{catid}
//   HKCR\CLSID\{clsid}\Required Categories\{catid}
//
// A class's "Implemented Categories" or "Required Categories" key goes when
// its last category is removed.
#include "category_manager.h"

#include "oleaut32/typelib_registry_key.h"

#include <atomic>
#include <cstdio>
#include <new>

using platform::registry::DeleteIfEmpty;
using platform::registry::DeleteTree;
using platform::registry::GuidText;
using platform::registry::RegistryKey;

extern "C" {
const GUID CLSID_StdComponentCategoriesMgr = {0x0002E005, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_ICatRegister = {0x0002E012, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace platform::categories {
namespace {

const char16_t implementedKey[] = u"Implemented Categories";
const char16_t requiredKey[] = u"Required Categories";

HRESULT FromRegistry(LONG error)
{
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(error));
}

std::u16string LocaleName(LCID lcid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
    std::u16string name;
    for (const char* c = text; *c; ++c)
        name += static_cast<char16_t>(*c);
    return name;
}

// The description text, which may fill all of its 128 units without a NUL.
std::u16string Description(const CATEGORYINFO& info)
{
    size_t length = 0;
    const size_t room = sizeof info.szDescription / sizeof info.szDescription[0];
    while (length < room && info.szDescription[length] != 0)
        ++length;
    return std::u16string(info.szDescription, length);
}

class CategoryManager final : public ICatRegister {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICatRegister) {
            *object = static_cast<ICatRegister*>(this);
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
        if (left == 0) {
            this->~CategoryManager();
            HeapFree(GetProcessHeap(), 0, this);
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG categories, CATEGORYINFO info[]) override
    {
        if (categories && !info)
            return E_INVALIDARG;
        return Guarded([&] {
            for (ULONG i = 0; i < categories; ++i) {
                RegistryKey key;
                LONG error = key.Create(HKEY_CLASSES_ROOT, u"Component Categories\\" + GuidText(info[i].catid));
                if (error == ERROR_SUCCESS)
                    error = key.SetText(LocaleName(info[i].lcid).c_str(), Description(info[i]));
                if (error != ERROR_SUCCESS)
                    return FromRegistry(error);
            }
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG categories, CATID ids[]) override
    {
        if (categories && !ids)
            return E_INVALIDARG;
        return Guarded([&] {
            for (ULONG i = 0; i < categories; ++i) {
                LONG error = DeleteTree(HKEY_CLASSES_ROOT, u"Component Categories\\" + GuidText(ids[i]));
                if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
                    return FromRegistry(error);
            }
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID clsid, ULONG categories, CATID ids[]) override
    {
        return RegisterClassCategories(clsid, implementedKey, categories, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID clsid, ULONG categories, CATID ids[]) override
    {
        return UnregisterClassCategories(clsid, implementedKey, categories, ids);
    }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID clsid, ULONG categories, CATID ids[]) override
    {
        return RegisterClassCategories(clsid, requiredKey, categories, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID clsid, ULONG categories, CATID ids[]) override
    {
        return UnregisterClassCategories(clsid, requiredKey, categories, ids);
    }

private:
    template <typename Work>
    static HRESULT Guarded(Work work)
    {
        try {
            return work();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT RegisterClassCategories(REFCLSID clsid, const char16_t* kind, ULONG categories, CATID ids[])
    {
        if (categories && !ids)
            return E_INVALIDARG;
        return Guarded([&] {
            const std::u16string list = u"CLSID\\" + GuidText(clsid) + u"\\" + kind;
            for (ULONG i = 0; i < categories; ++i) {
                RegistryKey key;
                LONG error = key.Create(HKEY_CLASSES_ROOT, list + u"\\" + GuidText(ids[i]));
                if (error != ERROR_SUCCESS)
                    return FromRegistry(error);
            }
            return S_OK;
        });
    }

    static HRESULT UnregisterClassCategories(REFCLSID clsid, const char16_t* kind, ULONG categories, CATID ids[])
    {
        if (categories && !ids)
            return E_INVALIDARG;
        return Guarded([&] {
            const std::u16string list = u"CLSID\\" + GuidText(clsid) + u"\\" + kind;
            HRESULT result = S_OK;
            for (ULONG i = 0; i < categories; ++i) {
                LONG error = DeleteTree(HKEY_CLASSES_ROOT, list + u"\\" + GuidText(ids[i]));
                if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
                    result = FromRegistry(error);
            }
            DeleteIfEmpty(HKEY_CLASSES_ROOT, list);
            return result;
        });
    }

    std::atomic<ULONG> count{1};
};

}  // namespace

HRESULT CreateCategoryManager(REFIID riid, void** object)
{
    // From the process heap, so that the allocation seam can refuse it.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CategoryManager));
    if (!memory)
        return E_OUTOFMEMORY;
    auto* manager = new (memory) CategoryManager;
    HRESULT result = manager->QueryInterface(riid, object);
    manager->Release();
    return result;
}

}  // namespace platform::categories
