#include "text/text_conversion.h"

#include <cstdio>

namespace host {
namespace {

struct StatusRow {
    HRESULT code;
    const char* name;
};

const StatusRow statusTable[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_POINTER, "E_POINTER"},
    {E_ABORT, "E_ABORT"},
    {E_FAIL, "E_FAIL"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {E_ACCESSDENIED, "E_ACCESSDENIED"},
    {E_HANDLE, "E_HANDLE"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
    {TYPE_E_INVDATAREAD, "TYPE_E_INVDATAREAD"},
    {TYPE_E_UNSUPFORMAT, "TYPE_E_UNSUPFORMAT"},
    {TYPE_E_CANTLOADLIBRARY, "TYPE_E_CANTLOADLIBRARY"},
    {TYPE_E_REGISTRYACCESS, "TYPE_E_REGISTRYACCESS"},
    {FILTER_E_END_OF_CHUNKS, "FILTER_E_END_OF_CHUNKS"},
    {FILTER_E_NO_MORE_TEXT, "FILTER_E_NO_MORE_TEXT"},
    {FILTER_E_NO_MORE_VALUES, "FILTER_E_NO_MORE_VALUES"},
    {FILTER_E_ACCESS, "FILTER_E_ACCESS"},
    {FILTER_E_NO_TEXT, "FILTER_E_NO_TEXT"},
    {FILTER_E_NO_VALUES, "FILTER_E_NO_VALUES"},
    {FILTER_S_LAST_TEXT, "FILTER_S_LAST_TEXT"},
    {FILTER_E_UNKNOWNFORMAT, "FILTER_E_UNKNOWNFORMAT"},
    {HRESULT(0x80070002), "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)"},
    {HRESULT(0x80070003), "HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)"},
    {HRESULT(0x800700C1), "HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)"},
    {HRESULT(0x8007007E), "HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)"},
    {HRESULT(0x8007007F), "HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)"},
    {HRESULT(0x80070715), "HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND)"},
    {HRESULT(0x80070716), "HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)"},
    {HRESULT(0xC00D001A), "NS_E_FILE_NOT_FOUND"},
    {HRESULT(0xC00D001D), "NS_E_FILE_OPEN_FAILED"},
    {HRESULT(0xC00D002B), "NS_E_INVALID_REQUEST"},
    {HRESULT(0xC00D0BBC), "NS_E_INVALID_INPUT_FORMAT"},
    {HRESULT(0xC00D07F0), "ASF_E_BUFFERTOOSMALL"},
};

}  // namespace

std::string ToCodePage(UINT codePage, std::u16string_view text)
{
    if (text.empty())
        return {};
    int bytes = WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), out.data(),
                            bytes, nullptr, nullptr);
    return out;
}

std::u16string FromCodePage(UINT codePage, std::string_view text)
{
    if (text.empty())
        return {};
    int units = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(units > 0 ? units : 0, u'\0');
    if (units > 0)
        MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), reinterpret_cast<LPWSTR>(out.data()),
                            units);
    return out;
}

std::string ToUtf8(std::u16string_view text)
{
    return ToCodePage(CP_UTF8, text);
}

std::u16string FromUtf8(std::string_view text)
{
    return FromCodePage(CP_UTF8, text);
}

namespace {

// The code's name in the table, or null.
const char* KnownName(HRESULT status)
{
    for (const StatusRow& row : statusTable)
        if (row.code == status)
            return row.name;
    return nullptr;
}

std::string Hexadecimal(HRESULT status)
{
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(status));
    return number;
}

}  // namespace

std::string StatusSymbol(HRESULT status)
{
    const char* name = KnownName(status);
    return name ? name : Hexadecimal(status);
}

std::string StatusName(HRESULT status)
{
    const char* name = KnownName(status);
    return name ? std::string(name) + " (" + Hexadecimal(status) + ")" : Hexadecimal(status);
}

}  // namespace host
