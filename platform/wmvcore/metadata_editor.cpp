// The editor object's identity, lifetime, and opening and closing of files.
#include "metadata_editor.h"

#include "media_reading.h"
#include "recent_reading.h"
#include "text_conversion.h"

#include <new>

namespace platform {

HRESULT STDMETHODCALLTYPE TagLibEditor::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMMetadataEditor) {
        *object = static_cast<IWMMetadataEditor*>(this);
    } else if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE TagLibEditor::AddRef()
{
    return static_cast<ULONG>(references.fetch_add(1) + 1);
}

ULONG STDMETHODCALLTYPE TagLibEditor::Release()
{
    const LONG remaining = references.fetch_sub(1) - 1;
    if (remaining == 0)
        delete this;
    return static_cast<ULONG>(remaining);
}

HRESULT STDMETHODCALLTYPE TagLibEditor::Open(const WCHAR* pwszFilename)
{
    if (!pwszFilename)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (opened)
        return NS_E_INVALID_REQUEST;  // Close first
    try {
        path = Utf8FromUtf16(pwszFilename);
        const HRESULT result = ReopenRecent(path, file, attributes, admission)
                                   ? S_OK
                                   : ReadMediaAttributes(file, path, attributes, admission);
        opened = SUCCEEDED(result);
        return result;
    } catch (const std::bad_alloc&) {
        attributes.Clear();
        file.Close();
        admission.Release();
        return E_OUTOFMEMORY;
    } catch (...) {
        attributes.Clear();
        file.Close();
        admission.Release();
        return NS_E_INVALID_INPUT_FORMAT;
    }
}

HRESULT STDMETHODCALLTYPE TagLibEditor::Close()
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    KeepRecent(path, file, attributes);
    file.Close();
    admission.Release();
    opened = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TagLibEditor::Flush()
{
    std::lock_guard<std::mutex> guard(stateLock);
    // The editor changes nothing, so it has nothing to write.
    return opened ? E_NOTIMPL : NS_E_INVALID_REQUEST;
}

}  // namespace platform
