// The synchronous reader over TagLib: one COM object that answers
// IWMSyncReader and the three header-information interfaces, as the
// runtime's reader does. It reads the header of a file opened by path or of
// a stream the caller hands it (OpenStream), the same reading as the
// editor's; it reads no samples: every sample, range, selection and output
// operation answers E_NOTIMPL.
#pragma once

#include "header_reading.h"

namespace platform {

class TagLibSyncReader final : public IWMSyncReader, public HeaderReading {
public:
    TagLibSyncReader() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

    // IWMSyncReader
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) override { return OpenPath(pwszFilename); }
    HRESULT STDMETHODCALLTYPE OpenStream(IStream* pStream) override { return OpenFromStream(pStream); }
    HRESULT STDMETHODCALLTYPE Close() override { return CloseReading(); }
    HRESULT STDMETHODCALLTYPE SetRange(QWORD, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRangeByFrame(WORD, QWORD, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextSample(WORD, INSSBuffer** sample, QWORD*, QWORD*, DWORD*, DWORD*,
                                            WORD*) override;
    HRESULT STDMETHODCALLTYPE SetStreamsSelected(WORD, WORD*, WMT_STREAM_SELECTION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamSelected(WORD, WMT_STREAM_SELECTION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetReadStreamSamples(WORD, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetReadStreamSamples(WORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetOutputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetOutputCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD, IWMOutputMediaProps** props) override;
    HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD, IWMOutputMediaProps*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps** props) override;
    HRESULT STDMETHODCALLTYPE GetOutputNumberForStream(WORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamNumberForOutput(DWORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxOutputSampleSize(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxStreamSampleSize(WORD, DWORD*) override { return E_NOTIMPL; }
};

}  // namespace platform
