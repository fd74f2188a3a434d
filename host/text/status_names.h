// HRESULTs by name and number, for messages and output.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

// "FILTER_E_ACCESS (0x80041703)"; an unknown code is "0x80041703".
std::string StatusName(HRESULT status);
// "FILTER_E_ACCESS"; an unknown code is "0x80041703".
std::string StatusSymbol(HRESULT status);

// "permission denied", "no such file or folder", ...; "error 1234" for a
// code without words.
std::string Win32ErrorWords(DWORD error);

}  // namespace host
