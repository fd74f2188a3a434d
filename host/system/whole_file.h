// Whole files in and out through the platform's file calls (CreateFileW,
// ReadFile, WriteFile), so that any name the platform can open works,
// whatever its bytes: on Linux a name need not be UTF-8.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace host {

// False, with `error` naming the file, when `path` is a pipe, socket or
// device, which a reader would wait on or read for ever; true otherwise
// (a missing file is for the open to report).
bool CheckRegularFile(const std::u16string& path, std::string* error);

// A look at the bytes read so far, the last piece from `fresh` on; false,
// with `error` saying why, ends the read there.
using PieceCheck = std::function<bool(std::string_view bytes, size_t fresh, std::string* error)>;

// All of the file at `path` ("-": standard input). False with `error`
// naming the file and the problem: missing, a folder, not a regular file,
// no permission, a failed read, or what `check` found in a piece.
bool ReadWholeFile(const std::u16string& path, std::string* bytes, std::string* error,
                   const PieceCheck& check = nullptr);

// Replaces the file at `path` with `bytes`, creating it if need be. False
// with `error` naming the file and the problem.
bool WriteWholeFile(const std::u16string& path, const std::string& bytes, std::string* error);

}  // namespace host
