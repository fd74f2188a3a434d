// The Windows Media Format runtime's metadata editor, its synchronous
// reader and the header-information interfaces, with the SDK's slot order.
#pragma once

#include "ole32.h"
#include "streams.h"

DECLARE_PLATFORM_GUID(IID_IWMMetadataEditor);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo2);
DECLARE_PLATFORM_GUID(IID_IWMHeaderInfo3);
DECLARE_PLATFORM_GUID(IID_IWMSyncReader);

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

enum WMT_STREAM_SELECTION {
    WMT_OFF = 0,
    WMT_CLEANPOINT_ONLY = 1,
    WMT_ON = 2,
};

// Samples and output formats: the reader hands them out, the stand-in's
// never does, so they stay opaque here.
struct INSSBuffer;
struct IWMOutputMediaProps;

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

// The synchronous reader: the stand-in reads the header alone, so only
// Open, OpenStream, Close and the header-information interfaces (asked of
// the reader) do anything; every sample and output operation answers
// E_NOTIMPL.
struct IWMSyncReader : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRange(QWORD cnsStartTime, LONGLONG cnsDuration) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRangeByFrame(WORD wStreamNum, QWORD qwFrameNumber,
                                                      LONGLONG cFramesToRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextSample(WORD wStreamNum, INSSBuffer** ppSample, QWORD* pcnsSampleTime,
                                                    QWORD* pcnsDuration, DWORD* pdwFlags, DWORD* pdwOutputNum,
                                                    WORD* pwStreamNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                                         WMT_STREAM_SELECTION* pSelections) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamSelected(WORD wStreamNum, WMT_STREAM_SELECTION* pSelection) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReadStreamSamples(WORD wStreamNum, BOOL fCompressed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReadStreamSamples(WORD wStreamNum, BOOL* pfCompressed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                                       BYTE* pValue, WORD* pcbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                                       const BYTE* pValue, WORD cbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputCount(DWORD* pcOutputs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps** ppOutput) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps* pOutput) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD dwOutputNum, DWORD* pcFormats) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD dwOutputNum, DWORD dwFormatNum,
                                                      IWMOutputMediaProps** ppProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputNumberForStream(WORD wStreamNum, DWORD* pdwOutputNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamNumberForOutput(DWORD dwOutputNum, WORD* pwStreamNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxOutputSampleSize(DWORD dwOutput, DWORD* pcbMax) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxStreamSampleSize(WORD wStream, DWORD* pcbMax) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenStream(IStream* pStream) = 0;
};

extern "C" HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** ppMetadataEditor);
// `pUnkCert` and `dwRights` ask for rights to protected content; the
// stand-in reads headers only and ignores both.
extern "C" HRESULT WINAPI WMCreateSyncReader(IUnknown* pUnkCert, DWORD dwRights, IWMSyncReader** ppSyncReader);
