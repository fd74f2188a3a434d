// Loads a DLL of the system folder by its file name: the full path from
// GetSystemDirectoryW, so that neither the host program's folder nor the
// search path is asked and a file of the same name planted there is never
// loaded in its place. A 32-bit process on 64-bit Windows gets the 32-bit
// DLL, as the system folder it names is redirected for it.
#pragma once

#include "winapi.h"

namespace trellan {

// The full path of `fileName` in the system folder, in `path`; false with
// the last error set when it does not fit.
inline bool SystemLibraryPath(LPCWSTR fileName, WCHAR (&path)[MAX_PATH])
{
    const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    const int name = lstrlenW(fileName);
    if (folder == 0)
        return false;
    if (folder + 1 + name >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[folder] = '\\';
    lstrcpyW(path + folder + 1, fileName);
    return true;
}

// Null with the last error set when the DLL cannot be loaded.
inline HMODULE LoadSystemLibrary(LPCWSTR fileName)
{
    WCHAR path[MAX_PATH];
    return SystemLibraryPath(fileName, path) ? LoadLibraryW(path) : nullptr;
}

// The DLL's file is in the system folder (whether or not it would load).
// The Linux stand-in serves every system DLL from one library of its own.
inline bool SystemLibraryPresent(LPCWSTR fileName)
{
#ifdef _WIN32
    WCHAR path[MAX_PATH];
    return SystemLibraryPath(fileName, path) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
#else
    (void)fileName;
    return true;
#endif
}

}  // namespace trellan
