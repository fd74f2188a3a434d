// A metadata editor and synchronous reader that implements nothing: every
// operation of IWMMetadataEditor, IWMSyncReader and the three
// header-information interfaces answers E_NOTIMPL (Open and Close, which the
// editor and the reader share, once for both). The test doubles of the editor derive from it and override
// what they serve; IUnknown is theirs. Built against the stand-in's headers
// and against the Windows SDK's (the wmvcore.dll double).
#pragma once

#include "winapi.h"

namespace trellan::test {

class UnimplementedEditor : public IWMMetadataEditor, public IWMSyncReader, public IWMHeaderInfo3 {
public:
    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Flush() override { return E_NOTIMPL; }

    // IWMSyncReader, but for Open and Close
    HRESULT STDMETHODCALLTYPE SetRange(QWORD, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRangeByFrame(WORD, QWORD, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextSample(WORD, INSSBuffer**, QWORD*, QWORD*, DWORD*, DWORD*, WORD*) override
    {
        return E_NOTIMPL;
    }
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
    HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD, IWMOutputMediaProps**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD, IWMOutputMediaProps*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputNumberForStream(WORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamNumberForOutput(DWORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxOutputSampleSize(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxStreamSampleSize(WORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenStream(IStream*) override { return E_NOTIMPL; }

    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*,
                                                  WORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD*, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }

    // IWMHeaderInfo2
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*,
                                           BYTE*) override
    {
        return E_NOTIMPL;
    }

    // IWMHeaderInfo3
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD, LPCWSTR, WORD*, WORD*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD, WORD, LPWSTR, WORD*, WMT_ATTR_DATATYPE*, WORD*, BYTE*,
                                                    DWORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*, DWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddAttribute(WORD, LPCWSTR, WORD*, WMT_ATTR_DATATYPE, WORD, const BYTE*,
                                           DWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD, WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, WMT_CODEC_INFO_TYPE,
                                           WORD, BYTE*) override
    {
        return E_NOTIMPL;
    }

protected:
    UnimplementedEditor() = default;
    virtual ~UnimplementedEditor() = default;
};

}  // namespace trellan::test
