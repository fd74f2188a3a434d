// The metadata editor over TagLib: one COM object that answers
// IWMMetadataEditor and the three header-information interfaces. It reads
// the whole header at Open and serves the attributes from memory; it does
// not write files.
#pragma once

#include "attribute_list.h"
#include "header_limits.h"
#include "media_file.h"

#include <atomic>
#include <mutex>

namespace platform {

class TagLibEditor final : public IWMMetadataEditor, public IWMHeaderInfo3 {
public:
    TagLibEditor() = default;
    TagLibEditor(const TagLibEditor&) = delete;
    TagLibEditor& operator=(const TagLibEditor&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE Flush() override;

    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream_num, WORD* attributes) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream_num, WCHAR* name, WORD* name_len,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream_num, LPCWSTR name, WMT_ATTR_DATATYPE* type,
                                                 BYTE* value, WORD* length) override;
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream_num, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                           WORD length) override;
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD* markers) override;
    HRESULT STDMETHODCALLTYPE GetMarker(WORD index, WCHAR* marker_name, WORD* marker_len,
                                        QWORD* marker_time) override;
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR marker_name, QWORD marker_time) override;
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD index) override;
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD* scripts) override;
    HRESULT STDMETHODCALLTYPE GetScript(WORD index, WCHAR* type, WORD* type_len, WCHAR* command,
                                        WORD* command_len, QWORD* script_time) override;
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR type, LPCWSTR command, QWORD script_time) override;
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD index) override;

    // IWMHeaderInfo2
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD* codec_infos) override;
    HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD index, WORD* name_len, WCHAR* name, WORD* description_len,
                                           WCHAR* description, WMT_CODEC_INFO_TYPE* codec_type,
                                           WORD* codec_info_cnt, BYTE* codec_info) override;

    // IWMHeaderInfo3
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream_num, WORD* attributes) override;
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD stream_num, LPCWSTR name, WORD* lang_index, WORD* indices,
                                                  WORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream_num, WORD index, LPWSTR name, WORD* name_len,
                                                    WMT_ATTR_DATATYPE* type, WORD* lang_index, BYTE* value,
                                                    DWORD* data_len) override;
    HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD stream_num, WORD index, WMT_ATTR_DATATYPE type,
                                              WORD lang_index, const BYTE* value, DWORD length) override;
    HRESULT STDMETHODCALLTYPE AddAttribute(WORD stream_num, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type,
                                           WORD lang_index, const BYTE* value, DWORD length) override;
    HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream_num, WORD index) override;
    HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR name, LPCWSTR description, WMT_CODEC_INFO_TYPE codec_type,
                                           WORD codec_info_cnt, BYTE* codec_info) override;

private:
    ~TagLibEditor() = default;  // through Release only

    // Markers, scripts and codec infos: an open file has none of them.
    template <typename Count>
    HRESULT NoneWhenOpen(Count* count);

    std::atomic<LONG> references{1};
    // Guards `opened`, `attributes` and `file`: the editor may be shared
    // between threads.
    std::mutex stateLock;
    bool opened = false;
    AttributeList attributes;
    std::string path;  // of the open file
    MediaFile file;    // open while a value is left in it
    ReadingAdmission admission;  // the memory that the open file's attributes take

};

}  // namespace platform
