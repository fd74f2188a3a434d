// What the metadata editor and the synchronous reader share: a header read
// at open (from a path or through a stream) and served from memory through
// the three header-information interfaces. Each of the two objects adds its
// own interface and identity; the reading, its limits and its errors are
// the same whichever opened it.
#pragma once

#include "attribute_list.h"
#include "header_limits.h"
#include "media_file.h"

#include <atomic>
#include <mutex>
#include <string>

namespace platform {

class HeaderReading : public IWMHeaderInfo3 {
public:
    HeaderReading(const HeaderReading&) = delete;
    HeaderReading& operator=(const HeaderReading&) = delete;

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

protected:
    HeaderReading() = default;
    virtual ~HeaderReading() = default;  // through ReleaseReference only

    // QueryInterface of the object whose own interface is `ownId` at
    // `own`: IUnknown and `ownId` give `own`, the header interfaces this.
    HRESULT QueryReading(REFIID riid, REFIID ownId, IUnknown* own, void** object);

    ULONG AddReference();
    // Deletes the object at the last reference.
    ULONG ReleaseReference();

    // Reads the header of the file at `path`, or read through `stream`
    // (held until Close): S_OK, or the failure of MediaFile::Open or of
    // ReadMediaAttributes; NS_E_INVALID_REQUEST when open already.
    HRESULT OpenPath(const WCHAR* path);
    HRESULT OpenFromStream(IStream* stream);
    // NS_E_INVALID_REQUEST when not open.
    HRESULT CloseReading();
    HRESULT WhenOpen(HRESULT result);

private:
    template <typename Open>
    HRESULT OpenWith(Open open);
    // Markers, scripts and codec infos: an open file has none of them.
    template <typename Count>
    HRESULT NoneWhenOpen(Count* count);

    std::atomic<LONG> references{1};
    // Guards `opened`, `attributes` and `file`: the object may be shared
    // between threads.
    std::mutex stateLock;
    bool opened = false;
    AttributeList attributes;
    std::string path;  // of the open file; empty when it came as a stream
    MediaFile file;    // open while a value is left in it
    ReadingAdmission admission;  // the memory that the open file's attributes take
};

}  // namespace platform
