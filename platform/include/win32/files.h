// The kernel32 file subset: opening, reading and writing files, their
// attributes, enumerating a folder (by pattern, or by an open folder's
// handle), and the standard handles. Paths are UTF-16 here and file-system
// bytes below; see CP_ACP in kernel32.h for how names that are not valid
// UTF-8 survive the trip.
#pragma once

#include "errors.h"
#include "types.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_LIST_DIRECTORY 0x00000001u
#define SYNCHRONIZE 0x00100000

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
using LPWIN32_FILE_ATTRIBUTE_DATA = WIN32_FILE_ATTRIBUTE_DATA*;

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

// The platform's classes in its order; the stand-in answers the two that
// list a folder.
enum FILE_INFO_BY_HANDLE_CLASS {
    FileBasicInfo,
    FileStandardInfo,
    FileNameInfo,
    FileRenameInfo,
    FileDispositionInfo,
    FileAllocationInfo,
    FileEndOfFileInfo,
    FileStreamInfo,
    FileCompressionInfo,
    FileAttributeTagInfo,
    FileIdBothDirectoryInfo,
    FileIdBothDirectoryRestartInfo,
};

// One entry of a folder's listing; entries follow each other in the
// caller's buffer, each at NextEntryOffset bytes from the one before (0 for
// the last), 8-byte aligned. FileNameLength counts bytes, without a NUL.
struct FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;
    DWORD EaSize;  // for a reparse point, its tag
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};

#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu

extern "C" {

// Only the modes a reader or writer of whole files needs: GENERIC_READ
// and/or GENERIC_WRITE with any creation disposition. Opening a folder
// needs FILE_FLAG_BACKUP_SEMANTICS, as on the platform.
HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD creation, DWORD flags, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped);
BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped);
// Closes any kernel handle of the stand-in: files, folder searches are
// closed by FindClose, threads.
BOOL WINAPI CloseHandle(HANDLE handle);

// Makes one folder; its parent must exist. ERROR_ALREADY_EXISTS when
// something is there already.
BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName);
BOOL WINAPI GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, void* information);
// The absolute form of `fileName` against the working folder, from its text
// alone. Answers the units written, without the NUL; when `size` is too
// small, the units needed, with the NUL.
DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD size, LPWSTR buffer, LPWSTR* filePart);

// Enumerates a folder. The pattern's last component must be "*" or "*.*"
// (every entry, "." and ".." included, as on the platform) or a plain name.
// A link is reported with FILE_ATTRIBUTE_REPARSE_POINT and the attributes
// of what it points to.
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindClose(HANDLE search);

// FileIdBothDirectoryInfo lists the folder open as `file` (opened with
// FILE_FLAG_BACKUP_SEMANTICS): each call fills `information` with the next
// entries that fit, "." and ".." included, each with its change time and
// file number, and fails with ERROR_NO_MORE_FILES once the folder is done
// (ERROR_MORE_DATA when not even the next entry fits).
// FileIdBothDirectoryRestartInfo starts again from the first entry. Links
// are reported as FindFirstFileW reports them. Other classes fail with
// ERROR_INVALID_PARAMETER.
BOOL WINAPI GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                         void* information, DWORD bufferSize);

// The process's standard handles; they are never really closed.
HANDLE WINAPI GetStdHandle(DWORD which);
// Succeeds only for a handle on a terminal.
BOOL WINAPI GetConsoleMode(HANDLE console, DWORD* mode);

}  // extern "C"
