// The process's command line as UTF-16 strings, on both platforms.
#pragma once

#include "commands.h"

#include "winapi.h"

#include <string_view>

namespace host {

Arguments CommandLineArguments(int argc, char** argv);

// Points the registry at `path` for the rest of the process (--registry).
// Answers false where the platform's registry cannot be redirected.
bool UseRegistryFile(const std::u16string& path);

// The full path of a file named `name` in the directory of the running
// program.
std::u16string BesideProgram(const std::u16string& name);

// The file name of the filter module on this platform.
extern const char16_t* const defaultModuleName;

// What joins a folder and a name in a path on this platform.
extern const char16_t pathSeparator;

// A path from a file list (--files-from): the file system's bytes on Linux,
// where a name need not be UTF-8; UTF-8 on Windows.
std::u16string PathFromListBytes(std::string_view bytes);

// True when the standard handle `which` (STD_OUTPUT_HANDLE, ...) is a
// terminal.
bool IsTerminal(DWORD which);

}  // namespace host
