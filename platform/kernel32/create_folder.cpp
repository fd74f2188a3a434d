// CreateDirectoryW over mkdir.
#include "datafile_modules.h"
#include "modules_internal.h"

#include <win32/files.h>
#include <win32/kernel32.h>

#include <sys/stat.h>

#include <cerrno>

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES)
{
    std::string path;
    if (!platform::modules::FileNameArgument(pathName, path))
        return FALSE;
    if (mkdir(path.c_str(), 0777) == 0)
        return TRUE;
    const int error = errno;
    SetLastError(error == EEXIST ? ERROR_ALREADY_EXISTS : platform::datafile::FileOpenError(path, error));
    return FALSE;
}
