// Registration exports called with the module loaded for the call alone,
// and freed before the caller's transaction ends. A pipe, socket or device
// named as the module is refused before the load, which would wait on it.
// The shipped module's path is made full, as the registry keeps it: no "..".
#include "registry/module_registration.h"

#include "system/whole_file.h"

#include "system/module_handle.h"
#include "system/platform_differences.h"
#include "text/status_names.h"
#include "text/text_conversion.h"

namespace host {

bool CallRegistrationExport(const std::u16string& module, const char* exportName, HRESULT& result,
                            std::string& problem)
{
    if (!CheckRegularFile(module, &problem))
        return false;
    ModuleHandle handle(LoadLibraryW(reinterpret_cast<LPCWSTR>(module.c_str())));
    if (!handle.Get()) {
        problem = "cannot load " + ToUtf8(module) + ": " + StatusName(HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    using RegistrationExport = HRESULT(STDAPICALLTYPE*)();
    auto function =
        reinterpret_cast<RegistrationExport>(reinterpret_cast<void*>(GetProcAddress(handle.Get(), exportName)));
    if (!function) {
        problem = ToUtf8(module) + " exports no " + exportName;
        return false;
    }
    result = function();
    return true;  // the module is freed before the caller's transaction ends
}

bool PathExists(const std::u16string& path)
{
    return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

std::u16string ShippedModule(bool* found)
{
    for (const char16_t* const* folder = shippedModuleFolders; *folder; ++folder) {
        const std::u16string candidate = BesideProgram(std::u16string(*folder) + defaultModuleName);
        if (!PathExists(candidate))
            continue;
        // The registry keeps the module's full path: no "..".
        WCHAR full[MAX_PATH * 4];
        const DWORD length =
            GetFullPathNameW(reinterpret_cast<LPCWSTR>(candidate.c_str()), MAX_PATH * 4, full, nullptr);
        if (found)
            *found = true;
        if (length == 0 || length >= MAX_PATH * 4)
            return candidate;
        return std::u16string(reinterpret_cast<const char16_t*>(full), length);
    }
    if (found)
        *found = false;
    return BesideProgram(defaultModuleName);
}

}  // namespace host
