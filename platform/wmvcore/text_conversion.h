// Text conversions between the runtime's UTF-16, the file system's UTF-8
// and TagLib's strings.
#pragma once

#include <win32/wmsdk.h>

#include <taglib/tstring.h>

#include <string>

namespace platform {

// A NUL-terminated UTF-16 path as UTF-8; an unpaired surrogate becomes
// U+FFFD.
std::string Utf8FromUtf16(LPCWSTR text);

std::u16string Utf16FromTagLib(const TagLib::String& text);

// UTF-16LE bytes (as ASF stores text) up to the first NUL unit.
std::u16string Utf16FromLittleEndian(const BYTE* bytes, size_t length);

}  // namespace platform
