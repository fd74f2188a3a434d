// The synchronous reader's identity: IWMSyncReader and the header
// interfaces; its reading is HeaderReading's. The operations that hand out
// an object clear the caller's pointer before they refuse.
#include "sync_reader.h"

namespace platform {

HRESULT STDMETHODCALLTYPE TagLibSyncReader::QueryInterface(REFIID riid, void** object)
{
    return QueryReading(riid, IID_IWMSyncReader, static_cast<IWMSyncReader*>(this), object);
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
