// Reading a text file for the registry commands: UTF-8 (with or without a
// byte-order mark), UTF-16LE with its mark, or the system's 8-bit code page.
#pragma once

#include <string>

namespace host {

// False with `error` naming the problem when the file cannot be read.
bool ReadTextFile(const std::u16string& path, std::u16string* text, std::string* error);

}  // namespace host
