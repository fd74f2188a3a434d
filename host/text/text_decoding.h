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

// Whether the beginning of a text can open a text of its kind: `fits`
// and `refused` settle it, `unknown` asks for more of it.
enum class Opening { fits, refused, unknown };

// What a file of one kind of text may hold: at most `mostBytes`, no NUL
// character, and a beginning that `opens` (when given) does not refuse. It
// sees the decoded text so far (`whole` when no more of it will come: the
// file ended, or its first 64 KiB are in) and, when it refuses, says why in
// `problem`.
struct TextKind {
    const char* name;  // for messages: "a .reg file"
    size_t mostBytes;
    Opening (*opens)(std::u16string_view beginning, bool whole, std::string* problem) = nullptr;
};

// ReadWholeFile, then DecodeText. False with `error` naming the file and
// the problem; a file that is not text of `kind` is refused at its first
// piece that shows it, so that reading it takes bounded memory and time.
bool ReadTextFile(const std::u16string& path, const TextKind& kind, std::u16string* text, std::string* error);

}  // namespace host
