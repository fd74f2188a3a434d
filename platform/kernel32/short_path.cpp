// GetShortPathNameW. Linux file systems have no short (8.3) names, so a path
// that exists is its own short form; the call still checks that the file is
// there and follows the platform's rules for the answer and the buffer.
#include "modules_internal.h"

#include <win32/resources.h>

#include <sys/stat.h>

#include <cerrno>

namespace {

// The error for a path that cannot be reached: a missing file in an existing
// directory, or a missing directory on the way.
DWORD MissingPathError(const std::string& path, int error)
{
    if (error == ENOTDIR)
        return ERROR_PATH_NOT_FOUND;
    if (error == EACCES)
        return ERROR_ACCESS_DENIED;
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat status {};
    return stat(path.substr(0, slash).c_str(), &status) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace

extern "C" DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    if (!longPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path;
    if (!platform::modules::PathToUtf8(longPath, path) || path.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        SetLastError(MissingPathError(path, errno));
        return 0;
    }
    size_t length = 0;
    while (longPath[length] != 0)
        ++length;
    if (!shortPath || size <= length)
        return static_cast<DWORD>(length + 1);
    // The two buffers may be the same one.
    std::memmove(shortPath, longPath, (length + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(length);
}
