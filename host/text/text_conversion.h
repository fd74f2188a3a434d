// The CLI's text conversions: UTF-16 <-> UTF-8 and the code page of file
// names, through the platform's conversion calls.
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

}  // namespace host
