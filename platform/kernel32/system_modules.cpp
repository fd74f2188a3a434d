// The system DLLs by name, and the system folder they are found in. On
// Linux the whole stand-in is one library, so "oleaut32.dll",
// "kernel32.dll", "wmvcore.dll" and the others all load that library, and
// GetProcAddress finds their functions in it (its WMCreateEditor loads the
// editor library). The system folder is the stand-in library's own folder.
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

bool StandInPath(std::string& path)
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&StandInPath), &info) || !info.dli_fname)
        return false;
    path = MakeAbsolute(info.dli_fname);
    return true;
}

}  // namespace

bool SystemDirectory(std::string& directory)
{
    std::string path;
    if (!StandInPath(path))
        return false;
    const size_t slash = path.rfind('/');
    directory = slash == 0 ? std::string("/") : path.substr(0, slash);
    return true;
}

bool SystemModulePath(const std::string& name, std::string& path)
{
    std::string fileName = name;
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string::npos) {
        // Only a name in the system folder itself is a system DLL.
        std::string directory;
        if (!SystemDirectory(directory) || MakeAbsolute(name.substr(0, separator)) != directory)
            return false;
        fileName = name.substr(separator + 1);
    }
    const std::string lowered = Lowered(fileName);
    for (const char* systemName : systemModuleNames) {
        if (lowered == systemName || lowered + ".dll" == systemName)
            return StandInPath(path);
    }
    return false;
}

}  // namespace platform::modules

extern "C" UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    using namespace platform::modules;
    std::string directory;
    if (!SystemDirectory(directory)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string text = PathFromUtf8(directory);
    if (!buffer || text.size() >= size)
        return static_cast<UINT>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return static_cast<UINT>(text.size());
}
