// SHGetKnownFolderPath for the one folder the system's programs keep data
// in, and the same rule for the stand-in's own files.
#include "shell32/known_folders.h"

#include "kernel32/modules_internal.h"

#include <win32/windows.h>
#include <win32/shell32.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern "C" const KNOWNFOLDERID FOLDERID_LocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

namespace platform::shell {

std::string LocalDataFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return data;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share";
    return ".";
}

bool CreateFolders(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

}  // namespace platform::shell

HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE, PWSTR* path)
{
    if (!path)
        return E_INVALIDARG;
    *path = nullptr;
    if (!IsEqualGUID(id, FOLDERID_LocalAppData))
        return E_INVALIDARG;
    const std::string folder = platform::shell::LocalDataFolder();
    if ((flags & KF_FLAG_CREATE) && !platform::shell::CreateFolders(folder))
        return HRESULT_FROM_WIN32(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    const std::u16string text = platform::modules::PathFromUtf8(folder);
    auto* copy = static_cast<PWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    *path = copy;
    return S_OK;
}
