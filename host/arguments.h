// The process's command line as UTF-16 strings, on both platforms.
#pragma once

#include "commands.h"

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

}  // namespace host
