// The platform's rules for handing names and data out to callers' buffers.
#pragma once

#include <win32/windows.h>

#include <string>

namespace platform::registry {

// Value data: with no buffer the size is reported; a buffer too small gets
// ERROR_MORE_DATA and the size needed.
LONG CopyValueData(const std::string& data, LPBYTE buffer, LPDWORD bufferBytes);

// A name with its NUL into a buffer of *units; ERROR_MORE_DATA when it does
// not fit. On success *units is the name's length without the NUL.
LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD units);

}  // namespace platform::registry
