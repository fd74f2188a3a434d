// The header-information interfaces of the editor and the reader: counts and reads of the
// attributes read at Open, with the runtime's buffer protocol. Through
// IWMHeaderInfo and IWMHeaderInfo2 only the file-level attributes
// (stream 0) are visible; IWMHeaderInfo3 shows one stream's, or with
// stream 0xFFFF all of them. Writing, markers, scripts and codec
// information are not supported: the counts are 0 and the changes
// E_NOTIMPL.
#include "header_reading.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform {
namespace {

const WORD fileLevel = 0;

// An attribute whose value does not fit the 16-bit length of a level-1
// read.
const HRESULT valueTooLong = HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);

// The runtime's buffer protocol for one attribute. A null buffer asks for
// the length it needs; a buffer whose given length is too small gets
// ASF_E_BUFFERTOOSMALL with the needed lengths stored and nothing copied.
// Names are counted in UTF-16 units with their NUL, values in bytes. The
// part of a value left in the file is read from it into the caller's
// buffer; a file that no longer holds it gives NS_E_FILE_READ.
template <typename ValueLength>
HRESULT CopyAttribute(const MediaAttribute& attribute, const MediaFile& file, WCHAR* name, WORD* nameLength,
                      WMT_ATTR_DATATYPE* type, BYTE* value, ValueLength* valueLength)
{
    if ((name && !nameLength) || (value && !valueLength))
        return E_INVALIDARG;
    if (attribute.Length() > std::numeric_limits<ValueLength>::max())
        return valueTooLong;

    const WORD nameNeeded = static_cast<WORD>(attribute.name.size() + 1);
    const ValueLength valueNeeded = static_cast<ValueLength>(attribute.Length());
    const bool tooSmall = (name && *nameLength < nameNeeded) || (value && *valueLength < valueNeeded);
    if (nameLength)
        *nameLength = nameNeeded;
    if (valueLength)
        *valueLength = valueNeeded;
    if (type)
        *type = attribute.type;
    if (tooSmall)
        return ASF_E_BUFFERTOOSMALL;

    if (value && !attribute.inFile.Empty() && !ReadStoredBytes(file, attribute.inFile, value + attribute.value.size()))
        return NS_E_FILE_READ;
    if (name)
        std::memcpy(name, attribute.name.c_str(), nameNeeded * sizeof(WCHAR));
    if (value && !attribute.value.empty())
        std::memcpy(value, attribute.value.data(), attribute.value.size());
    return S_OK;
}

}  // namespace

// IWMHeaderInfo

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeCount(WORD stream_num, WORD* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    if (stream_num != fileLevel)
        return E_INVALIDARG;  // this level lists the file's own attributes only
    *count = attributes.Count(fileLevel);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeByIndex(WORD index, WORD* stream_num, WCHAR* name,
                                                            WORD* name_len, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                            WORD* length)
{
    if (!stream_num)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    if (*stream_num != fileLevel)
        return E_INVALIDARG;
    const MediaAttribute* attribute = attributes.At(fileLevel, index);
    if (!attribute)
        return E_INVALIDARG;
    return CopyAttribute(*attribute, file, name, name_len, type, value, length);
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeByName(WORD* stream_num, LPCWSTR name,
                                                           WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length)
{
    if (!stream_num || !name)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    if (*stream_num != fileLevel)
        return E_INVALIDARG;
    const std::vector<WORD>* indices = attributes.IndicesOf(fileLevel, name);
    if (!indices)
        return ASF_E_NOTFOUND;
    return CopyAttribute<WORD>(*attributes.At(fileLevel, indices->front()), file, nullptr, nullptr, type, value,
                               length);
}

HRESULT STDMETHODCALLTYPE HeaderReading::SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD)
{
    return E_NOTIMPL;
}

template <typename Count>
HRESULT HeaderReading::NoneWhenOpen(Count* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetMarkerCount(WORD* markers)
{
    return NoneWhenOpen(markers);
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetMarker(WORD, WCHAR*, WORD*, QWORD*)
{
    return E_INVALIDARG;  // there are no markers to index
}

HRESULT STDMETHODCALLTYPE HeaderReading::AddMarker(LPCWSTR, QWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HeaderReading::RemoveMarker(WORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE HeaderReading::GetScriptCount(WORD* scripts)
{
    return NoneWhenOpen(scripts);
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*)
{
    return E_INVALIDARG;  // there are no scripts to index
}

HRESULT STDMETHODCALLTYPE HeaderReading::AddScript(LPCWSTR, LPCWSTR, QWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HeaderReading::RemoveScript(WORD) { return E_NOTIMPL; }

// IWMHeaderInfo2

HRESULT STDMETHODCALLTYPE HeaderReading::GetCodecInfoCount(DWORD* codec_infos)
{
    return NoneWhenOpen(codec_infos);
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*,
                                                     WORD*, BYTE*)
{
    return E_INVALIDARG;  // there is no codec information to index
}

// IWMHeaderInfo3

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeCountEx(WORD stream_num, WORD* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    *count = attributes.Count(stream_num);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeIndices(WORD stream_num, LPCWSTR name, WORD* lang_index,
                                                            WORD* indices, WORD* count)
{
    if (!name || !count)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;

    WORD found = 0;
    const WORD capacity = *count;
    if (const std::vector<WORD>* named = attributes.IndicesOf(stream_num, name)) {
        for (WORD index : *named) {
            if (lang_index && attributes.At(stream_num, index)->language != *lang_index)
                continue;
            if (indices && found < capacity)
                indices[found] = index;
            ++found;
        }
    }
    *count = found;
    return indices && found > capacity ? ASF_E_BUFFERTOOSMALL : S_OK;
}

HRESULT STDMETHODCALLTYPE HeaderReading::GetAttributeByIndexEx(WORD stream_num, WORD index, LPWSTR name,
                                                              WORD* name_len, WMT_ATTR_DATATYPE* type,
                                                              WORD* lang_index, BYTE* value, DWORD* data_len)
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    const MediaAttribute* attribute = attributes.At(stream_num, index);
    if (!attribute)
        return E_INVALIDARG;
    HRESULT result = CopyAttribute(*attribute, file, name, name_len, type, value, data_len);
    if (lang_index && result != E_INVALIDARG)
        *lang_index = attribute->language;
    return result;
}

HRESULT STDMETHODCALLTYPE HeaderReading::ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE HeaderReading::AddAttribute(WORD, LPCWSTR, WORD*, WMT_ATTR_DATATYPE, WORD, const BYTE*,
                                                     DWORD)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE HeaderReading::DeleteAttribute(WORD, WORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE HeaderReading::AddCodecInfo(LPCWSTR, LPCWSTR, WMT_CODEC_INFO_TYPE, WORD, BYTE*)
{
    return E_NOTIMPL;
}

}  // namespace platform
