// The text of a file's bytes, as the registry commands read .reg files and
// scripts: UTF-16LE with its mark, UTF-8 with or without one, else 8-bit
// text.
#pragma once

#include <string>
#include <string_view>

namespace host {

// The text of a file's bytes: UTF-16LE after its byte-order mark, UTF-8
// after its mark or when the bytes are UTF-8, otherwise 8-bit text.
std::u16string DecodeText(std::string_view bytes);

// 8-bit text: the system's code page, or Windows-1252 where that is UTF-8
// (Linux) and the bytes are not UTF-8.
std::u16string WidenEightBit(std::string_view bytes);

// ReadWholeFile, then DecodeText. False with `error` naming the file and
// the problem.
bool ReadTextFile(const std::u16string& path, std::u16string* text, std::string* error);

}  // namespace host
