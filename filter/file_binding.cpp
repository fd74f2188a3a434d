// The IPersistFile side of the filter object: it remembers the path that
// the host binds, in place of any path or stream bound before; the file is
// opened by the harvest at the next Init. Nothing is ever saved.
#include "trellan_ids.h"
#include "wm_filter.h"

#include <algorithm>

namespace trellan {

HRESULT STDMETHODCALLTYPE WMFilter::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_WMFilter;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WMFilter::IsDirty()
{
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE WMFilter::Load(LPCOLESTR pszFileName, DWORD)
{
    if (!pszFileName)
        return E_POINTER;

    HRESULT result;
    EnterCriticalSection(&filterLock);

    Unbind();  // a stream bound before goes too: the object holds one or the other

    const size_t units = lstrlenW(pszFileName) + 1;
    filePath = static_cast<LPWSTR>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(WCHAR)));

    if (filePath) {
        std::copy_n(pszFileName, units, filePath);
        result = S_OK;
    } else {
        result = E_OUTOFMEMORY;  // the earlier path is gone too
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

HRESULT STDMETHODCALLTYPE WMFilter::Save(LPCOLESTR, BOOL)
{
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE WMFilter::SaveCompleted(LPCOLESTR)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WMFilter::GetCurFile(LPOLESTR* ppszFileName)
{
    if (!ppszFileName)
        return E_POINTER;

    HRESULT result;
    EnterCriticalSection(&filterLock);

    if (!filePath) {
        result = E_FAIL;
    } else {
        const size_t units = lstrlenW(filePath) + 1;
        *ppszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
        if (!*ppszFileName) {
            result = E_OUTOFMEMORY;
        } else {
            std::copy_n(filePath, units, *ppszFileName);
            result = S_OK;
        }
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

}  // namespace trellan
