// What the module functions share: path text in both encodings, and the
// loader's view of one loaded module.
#pragma once

#include <win32/modules.h>

#include <link.h>

#include <string>

namespace platform::modules {

// UTF-16 to the file system's bytes (CP_ACP: escaped bytes come back);
// false for text with a lone surrogate that is no escaped byte.
bool PathToUtf8(LPCWSTR path, std::string& out);
// A file-name argument of a kernel32 call as the file system's bytes; false
// with the last error set: ERROR_INVALID_NAME for no name or one that names
// no file, ERROR_PATH_NOT_FOUND for an empty one.
bool FileNameArgument(LPCWSTR name, std::string& path);
// The file system's bytes to UTF-16 (CP_ACP: bytes that are not UTF-8 are
// escaped, so that the name comes back whole).
std::u16string PathFromUtf8(const std::string& path);
// An absolute path: relative ones are taken from the current directory.
std::string MakeAbsolute(const std::string& path);

// One loaded module as the loader sees it.
struct LoadedModule {
    void* base = nullptr;             // the module handle
    struct link_map* map = nullptr;   // the loader's record
    bool processImage = false;        // the program itself
};

// The module whose image holds `address`.
bool FindModuleContaining(const void* address, LoadedModule& module);
// The module whose handle is `handle` (its image start); false otherwise.
bool FindModuleByHandle(HMODULE handle, LoadedModule& module);
// The module of the program itself.
LoadedModule ProcessImage();
// A loader handle that holds one more load of a module already loaded; the
// caller closes it with dlclose. `extraFlags` may add RTLD_NODELETE.
void* OpenLoaded(const LoadedModule& module, int extraFlags = 0);
// The stand-in library's own path when `name` is a system DLL's file name
// ("oleaut32.dll", any letter case, ".dll" optional), bare or in the system
// folder (after '/' or '\\', as a Windows path built from
// GetSystemDirectoryW has it).
bool SystemModulePath(const std::string& name, std::string& path);
// The system folder: the stand-in library's own folder, without the
// trailing '/'.
bool SystemDirectory(std::string& directory);

// The module's absolute file path.
std::string FilePathOf(const LoadedModule& module);

}  // namespace platform::modules
