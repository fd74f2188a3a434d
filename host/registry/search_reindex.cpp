// The search service's catalog, through interfaces declared here from
// their documented layout (the cross compiler's headers lack them): only
// the methods up to the one called are named, the earlier slots keep the
// order of the vtable.
#include "registry/search_reindex.h"

#include "text/status_names.h"

#include "com_ptr.h"

#include "winapi.h"

#include <cstdio>

namespace host {

namespace {

const char* const reindexPatterns[] = {"*.mp3", "*.wma", "*.wmv", "*.asf"};

}  // namespace

#ifdef _WIN32

namespace {

const CLSID searchManagerClass = {0x7D096C5F, 0xAC08, 0x4F1F, {0xBE, 0xB7, 0x5C, 0x22, 0xC5, 0x17, 0xCE, 0x39}};
const IID searchManagerInterface = {0xAB310581, 0xAC80, 0x11D1, {0x8D, 0xF3, 0x00, 0xC0, 0x4F, 0xB6, 0xEF, 0x69}};
const IID catalogManagerInterface = {0xAB310581, 0xAC80, 0x11D1, {0x8D, 0xF3, 0x00, 0xC0, 0x4F, 0xB6, 0xEF, 0x50}};

struct SearchCatalogManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParameter(LPCWSTR name, void** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParameter(LPCWSTR name, void* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCatalogStatus(DWORD* status, DWORD* pausedReason) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reindex() = 0;
    virtual HRESULT STDMETHODCALLTYPE ReindexMatchingURLs(LPCWSTR pattern) = 0;
};

struct SearchManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetIndexerVersionStr(LPWSTR* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndexerVersion(DWORD* major, DWORD* minor) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParameter(LPCWSTR name, void** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParameter(LPCWSTR name, const void* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProxyName(LPWSTR* proxyName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BypassList(LPWSTR* bypassList) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProxy(DWORD access, BOOL localBypass, DWORD port, LPCWSTR proxyName,
                                               LPCWSTR bypassList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCatalog(LPCWSTR catalog, SearchCatalogManager** manager) = 0;
};

// COM for this thread while the request runs.
struct ComApartment {
    HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~ComApartment()
    {
        if (SUCCEEDED(started))
            CoUninitialize();
    }
};

// The service cannot be reached at all: not installed, or not running.
bool ServiceMissing(HRESULT result)
{
    return result == REGDB_E_CLASSNOTREG || result == CO_E_SERVER_EXEC_FAILURE ||
           result == HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED) ||
           result == HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST) || result == E_NOINTERFACE ||
           result == E_NOTIMPL || result == CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace

void RequestMediaReindex(const char* command)
{
    ComApartment apartment;
    // Released before the apartment ends.
    trellan::ComPtr<SearchManager> manager;
    trellan::ComPtr<SearchCatalogManager> catalog;
    trellan::ComPtr<IUnknown> checked;
    HRESULT result = CoCreateInstance(searchManagerClass, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                      searchManagerInterface, manager.ReceiveVoid());
    if (SUCCEEDED(result))
        result = manager->GetCatalog(L"SystemIndex", catalog.Receive());
    // The catalog really is the interface declared here.
    if (SUCCEEDED(result))
        result = catalog->QueryInterface(catalogManagerInterface, checked.ReceiveVoid());
    if (FAILED(result)) {
        std::printf("%s: the search service is not available here (%s); nothing to re-index\n", command,
                    StatusName(result).c_str());
        if (!ServiceMissing(result))
            std::fprintf(stderr, "%s: have Windows Search re-index MP3, WMA, WMV and ASF files by hand\n", command);
        return;
    }
    for (const char* pattern : reindexPatterns) {
        WCHAR wide[16] = {};
        for (int i = 0; pattern[i] && i < 15; ++i)
            wide[i] = static_cast<WCHAR>(pattern[i]);
        const HRESULT asked = catalog->ReindexMatchingURLs(wide);
        std::printf("%s: Windows Search re-indexes %s files: %s\n", command, pattern, StatusName(asked).c_str());
    }
}

bool NativeMachineIsArm64()
{
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto isWow64Process2 = reinterpret_cast<IsWow64Process2Function>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "IsWow64Process2") : nullptr));
    USHORT process = 0, native = 0;
    // Windows before 10 has no such call, and no ARM64 edition.
    return isWow64Process2 && isWow64Process2(GetCurrentProcess(), &process, &native) &&
           native == 0xAA64;  // IMAGE_FILE_MACHINE_ARM64
}

#else

void RequestMediaReindex(const char* command)
{
    std::printf("%s: the search service is not available here (this platform has none); nothing to re-index\n",
                command);
    (void)reindexPatterns;
}

bool NativeMachineIsArm64()
{
    return false;
}

#endif

}  // namespace host
