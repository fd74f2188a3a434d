// The platform's view of a file's status: attributes, times and size, from
// what stat reports.
#pragma once

#include <win32/files.h>

#include <sys/stat.h>

namespace platform::kernel {

// The attributes of a file whose status (links followed) is `target`;
// `link` adds FILE_ATTRIBUTE_REPARSE_POINT.
DWORD AttributesOf(const struct stat& target, bool link);

// A time since the Unix epoch as the platform's 100-nanosecond ticks since
// the start of 1601.
FILETIME FileTimeOf(const struct timespec& time);

// The status of the entry `name` of the folder open as `folder` (AT_FDCWD:
// the working folder), links followed, with `link` set for a link; a
// dangling link is an entry all the same, with its own status. False, with
// errno set, when there is no such entry.
bool StatusAt(int folder, const char* name, struct stat& target, bool& link);

// Fills the fields that WIN32_FILE_ATTRIBUTE_DATA and WIN32_FIND_DATAW
// share.
template <typename Data>
void FillStatus(Data& data, const struct stat& target, bool link)
{
    data.dwFileAttributes = AttributesOf(target, link);
    data.ftCreationTime = FileTimeOf(target.st_ctim);
    data.ftLastAccessTime = FileTimeOf(target.st_atim);
    data.ftLastWriteTime = FileTimeOf(target.st_mtim);
    const unsigned long long size = S_ISDIR(target.st_mode) ? 0 : static_cast<unsigned long long>(target.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
}

}  // namespace platform::kernel
