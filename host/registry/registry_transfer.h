// The registry to .reg text and back, for reg export and reg import.
#pragma once

#include "winapi.h"

#include <string>
#include <string_view>

namespace host {

// The registry, or the subtree at `key` ("HKEY_CLASSES_ROOT\CLSID",
// "HKCR\CLSID", ...), as .reg text with "\n" line ends. An empty key means
// every root. Answers ERROR_SUCCESS or the registry error that stopped it;
// `error` then says what failed.
LONG ExportRegistry(const std::u16string& key, std::u16string* text, std::string* error);

// .reg text as the platform's editor writes a file: UTF-16LE after a
// byte-order mark, CR LF line ends.
std::string RegFileBytes(std::u16string_view text);

// Applies .reg text. The whole text is read first: a malformed line
// changes nothing. `error` names the line that failed.
bool ImportRegistry(const std::u16string& text, std::string* error);

}  // namespace host
