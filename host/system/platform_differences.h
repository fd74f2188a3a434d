// The platform-dependent corners of the CLI: the command line as UTF-16
// strings, the registry's file, standard input as bytes.
#pragma once

#include "cli/commands.h"

#include "winapi.h"

#include <string>
#include <string_view>

namespace host {

Arguments CommandLineArguments(int argc, char** argv);

// Points the registry at `path` for the rest of the process (--registry).
// Answers false where the platform's registry cannot be redirected.
bool UseRegistryFile(const std::u16string& path);

// The full path of a file named `name` in the directory of the running
// program.
std::u16string BesideProgram(const std::u16string& name);

// Where an installed program's filter module sits, relative to the
// program's folder, in the order to try: "../lib/trellan/" (cmake --install,
// the Debian package), then the program's own folder (a build, the Windows
// release). Null-terminated.
extern const char16_t* const shippedModuleFolders[];

// True when the registry is the one the program chooses itself, not one the
// user named (--registry, TRELLAN_REGISTRY). Windows has one registry,
// which its installer fills: never ours to change unasked.
bool RegistryIsDefault();

// The command line that registers the shipped filter in the registry at
// `path` (as OpenRegistry names it).
std::string RegisterCommandFor(const std::string& path);

// Points the registry at a private one in memory for the rest of the
// process, when its file cannot be kept. False where the platform's registry
// cannot be redirected.
bool UseMemoryRegistry();

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

// The registry's database: Windows has one registry, always there; on Linux
// it is the stand-in's file. ERROR_SUCCESS, or the registry error that keeps
// it from use; `writable` and `path` say what it is.
LONG OpenRegistry(bool* writable, std::string* path);

// One write transaction around a whole command that changes the registry
// (Linux; nothing to do on Windows). Begin waits for other writers.
LONG BeginRegistryWrite();
LONG EndRegistryWrite(bool commit);

// The next piece of standard input, byte for byte, at most `size` bytes:
// `got` 0 at its end. False when it cannot be read.
bool ReadStandardInput(char* buffer, size_t size, size_t* got);

}  // namespace host
