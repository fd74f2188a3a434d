// The system DLLs by name. On Linux the whole stand-in is one library, so
// "oleaut32.dll", "kernel32.dll" and the others all load that library, and
// GetProcAddress finds their functions in it.
#include "modules_internal.h"

#include <dlfcn.h>

#include <cctype>

namespace platform::modules {
namespace {

const char* const systemModuleNames[] = {
    "kernel32.dll", "user32.dll", "ole32.dll", "oleaut32.dll", "advapi32.dll", "wmvcore.dll",
};

std::string Lowered(const std::string& text)
{
    std::string lowered = text;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

}  // namespace

bool SystemModulePath(const std::string& name, std::string& path)
{
    const std::string lowered = Lowered(name);
    for (const char* systemName : systemModuleNames) {
        if (lowered != systemName && lowered + ".dll" != systemName)
            continue;
        Dl_info info{};
        if (!dladdr(reinterpret_cast<const void*>(&SystemModulePath), &info) || !info.dli_fname)
            return false;
        path = MakeAbsolute(info.dli_fname);
        return true;
    }
    return false;
}

}  // namespace platform::modules
