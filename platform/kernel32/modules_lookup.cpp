// The loader's view of loaded modules: from an address or a handle to the
// module, its loader record and its file path.
#include "modules_internal.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::modules {
namespace {

struct link_map* ProcessImageMap()
{
    void* self = dlopen(nullptr, RTLD_LAZY);
    struct link_map* map = nullptr;
    if (self) {
        dlinfo(self, RTLD_DI_LINKMAP, &map);
        dlclose(self);
    }
    return map;
}

std::string ProcessImagePath()
{
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

// The file that the kernel mapped at `base`, from /proc/self/maps; for a
// module that the loader knows only by a relative name.
std::string MappedFileAt(const void* base)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, permissions, offset, device, inode, path;
        fields >> range >> permissions >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        if (std::strtoull(range.c_str(), nullptr, 16) == reinterpret_cast<uintptr_t>(base))
            return path;
    }
    return {};
}

}  // namespace

bool FindModuleContaining(const void* address, LoadedModule& module)
{
    Dl_info info{};
    struct link_map* map = nullptr;
    if (!address || !dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map ||
        !info.dli_fbase)
        return false;
    module.base = info.dli_fbase;
    module.map = map;
    module.processImage = map == ProcessImageMap();
    return true;
}

bool FindModuleByHandle(HMODULE handle, LoadedModule& module)
{
    return FindModuleContaining(handle, module) && module.base == static_cast<void*>(handle);
}

LoadedModule ProcessImage()
{
    LoadedModule module;
    struct link_map* map = ProcessImageMap();
    if (map && map->l_ld)
        FindModuleContaining(map->l_ld, module);
    return module;
}

void* OpenLoaded(const LoadedModule& module, int extraFlags)
{
    if (module.processImage)
        return dlopen(nullptr, RTLD_LAZY | extraFlags);
    return dlopen(module.map->l_name, RTLD_LAZY | RTLD_NOLOAD | extraFlags);
}

std::string FilePathOf(const LoadedModule& module)
{
    if (module.processImage)
        return ProcessImagePath();
    std::string name = module.map->l_name;
    if (!name.empty() && name[0] == '/')
        return name;
    return MappedFileAt(module.base);
}

}  // namespace platform::modules
