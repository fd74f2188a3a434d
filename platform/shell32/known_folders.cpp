// SHGetKnownFolderPath for the folder the system's programs keep data in
// (with the same rule for the stand-in's own files) and the user's own.
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
extern "C" const KNOWNFOLDERID FOLDERID_Profile = {
    0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};

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
    std::string folder;
    if (IsEqualGUID(id, FOLDERID_LocalAppData)) {
        folder = platform::shell::LocalDataFolder();
    } else if (IsEqualGUID(id, FOLDERID_Profile)) {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        folder = home;
    } else {
        return E_INVALIDARG;
    }
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
