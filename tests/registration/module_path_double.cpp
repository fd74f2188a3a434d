#include "registration/module_path_double.h"

#include <dlfcn.h>

namespace trellan::test {

ModulePathScript& ModulePath()
{
    static ModulePathScript script;
    return script;
}

}  // namespace trellan::test

using trellan::test::ModulePath;

// The platform's own function of the same name.
#define PLATFORM(name) static const auto platform = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    PLATFORM(GetModuleFileNameW);
    const auto& script = ModulePath();
    if (!script.active)
        return platform(module, fileName, size);
    if (script.longError) {
        SetLastError(script.longError);
        return 0;
    }
    // As the platform does: a path that does not fit is cut, and the answer
    // is the buffer's size.
    const std::u16string& path = script.longPath;
    const DWORD copied = path.size() < size ? static_cast<DWORD>(path.size()) : size - 1;
    path.copy(fileName, copied);
    fileName[copied] = 0;
    if (copied < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return copied;
}

extern "C" DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    PLATFORM(GetShortPathNameW);
    auto& script = ModulePath();
    if (!script.active)
        return platform(longPath, shortPath, size);
    ++script.shortCalls;
    if (script.shortResult < size && script.shortPath.size() < size) {
        script.shortPath.copy(shortPath, script.shortPath.size());
        shortPath[script.shortPath.size()] = 0;
    }
    return script.shortResult;
}

extern "C" BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module)
{
    PLATFORM(GetModuleHandleExW);
    if (ModulePath().failHandleFromAddress && (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) {
        *module = nullptr;
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return platform(flags, moduleName, module);
}
