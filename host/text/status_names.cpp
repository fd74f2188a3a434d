// The names of the codes the host prints, from two short tables searched in
// order: COM's and the filter interface's, Win32 errors carried as HRESULTs,
// and the media runtime's own. An HRESULT the table lacks is printed as its
// eight hex digits, so that every code still says something. The Win32
// words cover the failures of opening and reading a path.
#include "text/status_names.h"

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
    {RPC_E_SERVERFAULT, "RPC_E_SERVERFAULT"},
    {RPC_E_TIMEOUT, "RPC_E_TIMEOUT"},
    {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
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
    {HRESULT(0x8007000D), "HRESULT_FROM_WIN32(ERROR_INVALID_DATA)"},
    {HRESULT(0x800700C1), "HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)"},
    {HRESULT(0x8007007E), "HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)"},
    {HRESULT(0x8007007F), "HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)"},
    {HRESULT(0x80070715), "HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND)"},
    {HRESULT(0x80070716), "HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)"},
    {HRESULT(0x80070718), "HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA)"},
    {HRESULT(0xC00D001A), "NS_E_FILE_NOT_FOUND"},
    {HRESULT(0xC00D001D), "NS_E_FILE_OPEN_FAILED"},
    {HRESULT(0xC00D002B), "NS_E_INVALID_REQUEST"},
    {HRESULT(0xC00D0BBC), "NS_E_INVALID_INPUT_FORMAT"},
    {HRESULT(0xC00D07F0), "ASF_E_BUFFERTOOSMALL"},
};

struct ErrorRow {
    DWORD error;
    const char* words;
};

const ErrorRow errorTable[] = {
    {ERROR_FILE_NOT_FOUND, "no such file or folder"},
    {ERROR_PATH_NOT_FOUND, "no such file or folder"},
    {ERROR_ACCESS_DENIED, "permission denied"},
    {ERROR_DIRECTORY, "not a folder"},
    {ERROR_INVALID_NAME, "the name is not valid"},
    {ERROR_FILENAME_EXCED_RANGE, "the name is longer than the file system allows"},
    {ERROR_CANT_RESOLVE_FILENAME, "too many levels of links"},
    {ERROR_TOO_MANY_OPEN_FILES, "too many open files"},
    {ERROR_NOT_ENOUGH_MEMORY, "out of memory"},
    {ERROR_READ_FAULT, "a read failed"},
};

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

std::string Win32ErrorWords(DWORD error)
{
    for (const ErrorRow& row : errorTable)
        if (row.error == error)
            return row.words;
    return "error " + std::to_string(error);
}

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
