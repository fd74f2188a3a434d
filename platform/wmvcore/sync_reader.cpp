// The synchronous reader's identity: IWMSyncReader and the header
// interfaces; its reading is HeaderReading's. The operations that hand out
// an object clear the caller's pointer before they refuse.
#include "sync_reader.h"

namespace platform {

HRESULT STDMETHODCALLTYPE TagLibSyncReader::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMSyncReader) {
        *object = static_cast<IWMSyncReader*>(this);
    } else if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TagLibSyncReader::GetNextSample(WORD, INSSBuffer** sample, QWORD*, QWORD*, DWORD*,
                                                          DWORD*, WORD*)
{
    if (sample)
        *sample = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TagLibSyncReader::GetOutputProps(DWORD, IWMOutputMediaProps** props)
{
    if (props)
        *props = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TagLibSyncReader::GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps** props)
{
    if (props)
        *props = nullptr;
    return E_NOTIMPL;
}

}  // namespace platform
