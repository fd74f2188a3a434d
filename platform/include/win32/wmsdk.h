// The Windows Media Format runtime's metadata editor and header-information
// interfaces, with the SDK's slot order.
#pragma once

#include "ole32.h"

DECLARE_PLATFORM_GUID(IID_IWMMetadataEditor);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo2);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo3);

enum WMT_ATTR_DATATYPE {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

enum WMT_CODEC_INFO_TYPE {
    WMT_CODECINFO_AUDIO = 0,
    WMT_CODECINFO_VIDEO = 1,
    WMT_CODECINFO_UNKNOWN = 0xFFFFFFFF,
};

// The SDK names some text arguments of the header interfaces so.
#define LPCWSTR_WMSDK_TYPE_SAFE LPCWSTR

struct IWMMetadataEditor : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
};

struct IWMHeaderInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream_num, WORD* attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream_num, WCHAR* name, WORD* name_len,
                                                          WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream_num, LPCWSTR name, WMT_ATTR_DATATYPE* type,
                                                         BYTE* value, WORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream_num, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                                   const BYTE* value, WORD length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD* markers) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarker(WORD index, WCHAR* marker_name, WORD* marker_len,
                                                QWORD* marker_time) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR marker_name, QWORD marker_time) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveMarker(WORD index) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScriptCount(WORD* scripts) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScript(WORD index, WCHAR* type, WORD* type_len, WCHAR* command,
                                                WORD* command_len, QWORD* script_time) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR type, LPCWSTR command, QWORD script_time) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveScript(WORD index) = 0;
};

struct IWMHeaderInfo2 : IWMHeaderInfo {
    virtual HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD* codec_infos) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD index, WORD* name_len, WCHAR* name, WORD* description_len,
                                                   WCHAR* description, WMT_CODEC_INFO_TYPE* codec_type,
                                                   WORD* codec_info_cnt, BYTE* codec_info) = 0;
};

struct IWMHeaderInfo3 : IWMHeaderInfo2 {
    virtual HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream_num, WORD* attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD stream_num, LPCWSTR name, WORD* lang_index,
                                                          WORD* indices, WORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream_num, WORD index, LPWSTR name,
                                                            WORD* name_len, WMT_ATTR_DATATYPE* type,
                                                            WORD* lang_index, BYTE* value, DWORD* data_len) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD stream_num, WORD index, WMT_ATTR_DATATYPE type,
                                                      WORD lang_index, const BYTE* value, DWORD length) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAttribute(WORD stream_num, LPCWSTR name, WORD* index,
                                                   WMT_ATTR_DATATYPE type, WORD lang_index, const BYTE* value,
                                                   DWORD length) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream_num, WORD index) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR name, LPCWSTR description,
                                                   WMT_CODEC_INFO_TYPE codec_type, WORD codec_info_cnt,
                                                   BYTE* codec_info) = 0;
};

extern "C" HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** ppMetadataEditor);
