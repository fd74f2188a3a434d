// Text and status output for the CLI: UTF-16 <-> UTF-8, and HRESULTs by
// name and number.
#pragma once

#include "winapi.h"

#include <string>
#include <string_view>

namespace host {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// The same through another code page: CP_ACP gives the file system's bytes
// of a name on Linux, which need not be UTF-8 (the stand-in keeps every byte).
std::string ToCodePage(UINT codePage, std::u16string_view text);
std::u16string FromCodePage(UINT codePage, std::string_view text);

// "FILTER_E_ACCESS (0x80041703)"; an unknown code is "0x80041703".
std::string StatusName(HRESULT status);
// "FILTER_E_ACCESS"; an unknown code is "0x80041703".
std::string StatusSymbol(HRESULT status);

}  // namespace host
