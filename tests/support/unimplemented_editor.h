// A metadata editor that implements nothing: every operation of
// IWMMetadataEditor and of the three header-information interfaces answers
// E_NOTIMPL. The test doubles of the editor derive from it and override
// what they serve; IUnknown is theirs. Built against the stand-in's headers
// and against the Windows SDK's (the wmvcore.dll double).
#pragma once

#include "winapi.h"

namespace trellan::test {

class UnimplementedEditor : public IWMMetadataEditor, public IWMHeaderInfo3 {
public:
    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Flush() override { return E_NOTIMPL; }

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
