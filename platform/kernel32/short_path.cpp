// GetShortPathNameW. Linux file systems have no short (8.3) names, so a path
// that exists is its own short form; the call still checks that the file is
// there and follows the platform's rules for the answer and the buffer.
#include "datafile_modules.h"
#include "modules_internal.h"

#include <win32/resources.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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
        SetLastError(platform::datafile::FileOpenError(path, errno));
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
