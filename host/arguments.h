// The platform-dependent corners of the CLI: the command line as UTF-16
// strings, the registry's file, standard input as bytes.
#pragma once

#include "commands.h"

#include "winapi.h"

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

// The registry's database: Windows has one registry, always there; on Linux
// it is the stand-in's file. ERROR_SUCCESS, or the registry error that keeps
// it from use; `writable` and `path` say what it is.
LONG OpenRegistry(bool* writable, std::string* path);

// One write transaction around a whole command that changes the registry
// (Linux; nothing to do on Windows). Begin waits for other writers.
LONG BeginRegistryWrite();
LONG EndRegistryWrite(bool commit);

// All of standard input, byte for byte.
bool ReadStandardInput(std::string* bytes);

}  // namespace host
