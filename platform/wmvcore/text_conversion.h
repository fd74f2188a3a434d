// Text conversions between the runtime's UTF-16, the file system's UTF-8
// and TagLib's strings. Each works on the whole text at once.
#pragma once

#include <win32/wmsdk.h>

#include <taglib/tstring.h>

#include <string>
#include <vector>

namespace platform {

// A NUL-terminated UTF-16 path as the file system's bytes; empty for a
// path with a lone surrogate that is no escaped byte (it names no file).
std::string Utf8FromUtf16(LPCWSTR text);

// TagLib's text (UTF-16 units, one in each wchar_t) up to its first NUL.
std::u16string Utf16FromTagLib(const TagLib::String& text);

// A string value in the runtime's layout, straight from TagLib's text:
// UTF-16LE bytes up to the text's first NUL, and a NUL unit.
std::vector<BYTE> StringValueOf(const TagLib::String& text);

// UTF-16LE bytes (as ASF stores text) up to the first NUL unit; an odd
// last byte is left out.
std::u16string Utf16FromLittleEndian(const BYTE* bytes, size_t length);

// Appends UTF-8 `bytes` to `out` with every ill-formed sequence (a stray
// byte, a cut or overlong sequence, an encoded surrogate, a code point past
// U+10FFFF) replaced by U+FFFD, one for each maximal ill-formed part, as
// Unicode recommends. Answers whether anything was replaced.
bool AppendRepairedUtf8(const BYTE* bytes, size_t length, std::vector<BYTE>& out);

}  // namespace platform
