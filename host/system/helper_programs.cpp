// Helper programs found by the platform library's own path.
#include "system/helper_programs.h"

#include "winapi.h"

#include <dlfcn.h>

namespace host {

std::string HelperProgram(const char* name)
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&SHCreateStreamOnFileEx), &self) || !self.dli_fname)
        return name;
    std::string path = self.dli_fname;
    const size_t slash = path.find_last_of('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
}

}  // namespace host
