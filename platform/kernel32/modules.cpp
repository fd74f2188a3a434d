// LoadLibraryW, FreeLibrary, GetProcAddress, GetModuleFileNameW,
// GetModuleHandleW(Ex) and DisableThreadLibraryCalls over the dynamic loader.
// A module handle is the start of the module's image; the loader's own
// reference count stands for the platform's count of loads.
#include "modules_internal.h"
#include "datafile_modules.h"

#include <win32/kernel32.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>

using namespace platform::modules;

namespace {

bool FileExists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// The platform's error for a failed load, from the loader's message.
DWORD LoadError(const std::string& path, const char* message)
{
    if (message && std::strstr(message, "undefined symbol"))
        return ERROR_PROC_NOT_FOUND;
    if (path.find('/') != std::string::npos && FileExists(path))
        return ERROR_BAD_EXE_FORMAT;
    return ERROR_MOD_NOT_FOUND;
}

// The module that `name` names: a path (with a directory) or a bare file
// name compared with the last part of every loaded module's path.
bool FindModuleByName(LPCWSTR name, LoadedModule& module)
{
    std::string path;
    if (!PathToUtf8(name, path) || path.empty())
        return false;
    SystemModulePath(path, path);  // a system DLL's name is the stand-in's
    if (path.find('/') != std::string::npos) {
        void* handle = dlopen(MakeAbsolute(path).c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (!handle)
            return false;
        struct link_map* map = nullptr;
        bool found = dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && FindModuleContaining(map->l_ld, module);
        dlclose(handle);
        return found;
    }
    LoadedModule image = ProcessImage();
    for (struct link_map* map = image.map; map; map = map->l_next) {
        LoadedModule candidate;
        if (!map->l_ld || !FindModuleContaining(map->l_ld, candidate))
            continue;
        std::string file = FilePathOf(candidate);
        if (file.substr(file.rfind('/') + 1) == path) {
            module = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName)
{
    std::string path;
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!PathToUtf8(fileName, path) || path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The loader remembers the name it was given; an absolute one keeps
    // GetModuleFileNameW right after the current directory changes.
    if (!SystemModulePath(path, path) && path.find('/') != std::string::npos)
        path = MakeAbsolute(path);
    // The loader would wait for ever on a pipe with no writer: a module by
    // name is a regular file (a name without a folder is the loader's to find).
    struct stat file {};
    if (path.find('/') != std::string::npos && stat(path.c_str(), &file) == 0 && !S_ISREG(file.st_mode)) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(LoadError(path, dlerror()));
        return nullptr;
    }
    struct link_map* map = nullptr;
    LoadedModule module;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !FindModuleContaining(map->l_ld, module)) {
        dlclose(handle);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    // The load stays counted in the loader until FreeLibrary.
    return static_cast<HMODULE>(module.base);
}

BOOL WINAPI FreeLibrary(HMODULE handle)
{
    if (platform::datafile::IsDataFileHandle(handle))
        return platform::datafile::ReleaseDataFile(handle);
    LoadedModule module;
    if (!FindModuleByHandle(handle, module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (module.processImage)
        return TRUE;
    void* loaded = OpenLoaded(module);
    if (!loaded) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The first close gives back the load taken just now; the second drops
    // the caller's, and unloads the module when it was the last.
    dlclose(loaded);
    if (dlclose(loaded) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR procName)
{
    LoadedModule module = handle ? LoadedModule{} : ProcessImage();
    if (handle && !FindModuleByHandle(handle, module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!procName || IS_INTRESOURCE(procName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* loaded = OpenLoaded(module);
    if (!loaded) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(loaded, procName);
    dlclose(loaded);
    // dlsym also searches the module's dependencies; an export belongs to
    // the module that defines it.
    LoadedModule owner;
    if (!symbol || !FindModuleContaining(symbol, owner) || owner.base != module.base) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD WINAPI GetModuleFileNameW(HMODULE handle, LPWSTR fileName, DWORD size)
{
    LoadedModule module = handle ? LoadedModule{} : ProcessImage();
    if ((handle && !FindModuleByHandle(handle, module)) || (!handle && !module.map)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::u16string path = PathFromUtf8(FilePathOf(module));
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0 || !fileName) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        path.copy(fileName, size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    path.copy(fileName, path.size());
    fileName[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName)
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, moduleName, &module) ? module : nullptr;
}

BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* result)
{
    const DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    bool pin = flags & GET_MODULE_HANDLE_EX_FLAG_PIN;
    bool unchanged = flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!result || (flags & ~known) || (pin && unchanged)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *result = nullptr;
    LoadedModule module;
    bool found = !moduleName                                       ? (module = ProcessImage()).map != nullptr
                 : (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) ? FindModuleContaining(moduleName, module)
                                                                    : FindModuleByName(moduleName, module);
    if (!found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!unchanged && !module.processImage) {
        // One more load, which a FreeLibrary drops; a pinned module stays.
        if (!OpenLoaded(module, pin ? RTLD_NODELETE : 0)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
    }
    *result = static_cast<HMODULE>(module.base);
    return TRUE;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE handle)
{
    LoadedModule module;
    if (!FindModuleByHandle(handle, module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
