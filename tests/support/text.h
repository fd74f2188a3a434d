// UTF-8 <-> UTF-16 for tests.
#pragma once

#include "winapi.h"

#include <string>

namespace trellan::test {

std::u16string Utf16(const std::string& utf8);
std::string Utf8(const std::u16string& utf16);
std::string Utf8(LPCWSTR utf16);

}  // namespace trellan::test
