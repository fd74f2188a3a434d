// GetFileAttributesW and GetFileAttributesExW, over stat.
#include "file_attributes.h"

#include "datafile_modules.h"
#include "modules_internal.h"

#include <win32/kernel32.h>

#include <cerrno>
#include <fcntl.h>

namespace platform::kernel {

DWORD AttributesOf(const struct stat& target, bool link)
{
    DWORD attributes = 0;
    if (S_ISDIR(target.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode))
        attributes |= FILE_ATTRIBUTE_DEVICE;  // a pipe, socket or device: nothing a file reader can use
    // A link whose target cannot be had is a reparse point alone, as on the
    // platform: opening it fails, and says why.
    if (!(target.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (link)
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool StatusAt(int folder, const char* name, struct stat& target, bool& link)
{
    struct stat own {};
    if (fstatat(folder, name, &own, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    link = S_ISLNK(own.st_mode);
    if (!link || fstatat(folder, name, &target, 0) != 0)
        target = own;
    return true;
}

FILETIME FileTimeOf(const struct timespec& time)
{
    constexpr long long secondsFrom1601 = 11644473600LL;
    const unsigned long long ticks =
        static_cast<unsigned long long>(time.tv_sec + secondsFrom1601) * 10000000ULL +
        static_cast<unsigned long long>(time.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace platform::kernel

namespace {

// The status of `fileName`, links followed; false with the last error set.
bool StatusOf(LPCWSTR fileName, struct stat& target, bool& link)
{
    std::string path;
    if (!platform::modules::FileNameArgument(fileName, path))
        return false;
    if (!platform::kernel::StatusAt(AT_FDCWD, path.c_str(), target, link)) {
        SetLastError(platform::datafile::FileOpenError(path, errno));
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName)
{
    struct stat target {};
    bool link = false;
    if (!StatusOf(fileName, target, link))
        return INVALID_FILE_ATTRIBUTES;
    return platform::kernel::AttributesOf(target, link);
}

BOOL WINAPI GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, void* information)
{
    if (level != GetFileExInfoStandard || !information) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat target {};
    bool link = false;
    if (!StatusOf(fileName, target, link))
        return FALSE;
    platform::kernel::FillStatus(*static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information), target, link);
    return TRUE;
}

}  // extern "C"
