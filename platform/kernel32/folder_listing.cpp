// GetFileInformationByHandleEx for the two classes that list a folder:
// entries are read with getdents64 into the handle's listing and written
// out as FILE_ID_BOTH_DIR_INFO, each with the status of what it names (a
// link followed, as FindFirstFileW reports it). An entry that does not fit
// the caller's buffer stays first in line for the next call.
#include "file_attributes.h"
#include "file_object.h"
#include "modules_internal.h"

#include <win32/kernel32.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

using platform::kernel::FileObject;
using platform::kernel::FolderListing;

constexpr size_t kNameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
constexpr size_t kEntryAlignment = 8;

LARGE_INTEGER Large(LONGLONG value)
{
    LARGE_INTEGER large;
    large.QuadPart = value;
    return large;
}

LARGE_INTEGER Ticks(const struct timespec& time)
{
    const FILETIME ticks = platform::kernel::FileTimeOf(time);
    return Large(static_cast<LONGLONG>((ULONGLONG(ticks.dwHighDateTime) << 32) | ticks.dwLowDateTime));
}

// The next raw entry, read from the folder when the listing has none left;
// null at the end (errno 0) or when the read failed (errno set).
const dirent64* PeekEntry(const FileObject& folder, FolderListing& listing)
{
    if (listing.next == listing.filled) {
        if (listing.ended) {
            errno = 0;
            return nullptr;
        }
        ssize_t got;
        do
            got = getdents64(folder.descriptor, listing.entries, sizeof listing.entries);
        while (got < 0 && errno == EINTR);
        listing.next = listing.filled = 0;
        if (got <= 0) {
            if (got == 0) {
                listing.ended = true;
                errno = 0;
            }
            return nullptr;
        }
        listing.filled = static_cast<size_t>(got);
    }
    return reinterpret_cast<const dirent64*>(listing.entries + listing.next);
}

// Fills `info` for the entry `name` of the folder open as `folder`, `wide`
// being its name in UTF-16. False when the entry vanished since the read.
bool WriteEntry(int folder, const char* name, const std::u16string& wide, FILE_ID_BOTH_DIR_INFO& info)
{
    struct stat target {};
    bool link = false;
    if (!platform::kernel::StatusAt(folder, name, target, link))
        return false;
    std::memset(&info, 0, kNameOffset);
    info.CreationTime = Ticks(target.st_ctim);  // as FindFirstFileW: the system keeps no creation time
    info.LastAccessTime = Ticks(target.st_atim);
    info.LastWriteTime = Ticks(target.st_mtim);
    info.ChangeTime = Ticks(target.st_ctim);
    info.EndOfFile = Large(S_ISDIR(target.st_mode) ? 0 : static_cast<LONGLONG>(target.st_size));
    info.AllocationSize = Large(static_cast<LONGLONG>(target.st_blocks) * 512);
    info.FileAttributes = platform::kernel::AttributesOf(target, link);
    info.FileNameLength = static_cast<DWORD>(wide.size() * sizeof(WCHAR));
    info.EaSize = link ? IO_REPARSE_TAG_SYMLINK : 0;
    info.FileId = Large(static_cast<LONGLONG>(target.st_ino));
    std::memcpy(info.FileName, wide.data(), info.FileNameLength);
    return true;
}

BOOL Failed(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                         void* information, DWORD bufferSize)
{
    FileObject* file = platform::kernel::ObjectOf<FileObject>(handle);
    if (!file)
        return Failed(ERROR_INVALID_HANDLE);
    if ((informationClass != FileIdBothDirectoryInfo && informationClass != FileIdBothDirectoryRestartInfo) ||
        !information)
        return Failed(ERROR_INVALID_PARAMETER);
    if (reinterpret_cast<uintptr_t>(information) % kEntryAlignment != 0)
        return Failed(ERROR_NOACCESS);
    if (!file->folder)
        return Failed(ERROR_INVALID_PARAMETER);  // a file has no entries to list
    if (!file->listing) {
        file->listing.reset(new (std::nothrow) FolderListing);
        if (!file->listing)
            return Failed(ERROR_NOT_ENOUGH_MEMORY);
    }
    FolderListing& listing = *file->listing;
    if (informationClass == FileIdBothDirectoryRestartInfo) {
        if (lseek(file->descriptor, 0, SEEK_SET) != 0)
            return Failed(ERROR_READ_FAULT);
        listing.next = listing.filled = 0;
        listing.ended = false;
    }

    char* const buffer = static_cast<char*>(information);
    FILE_ID_BOTH_DIR_INFO* last = nullptr;
    size_t used = 0;  // where the next entry would start
    int readError = 0;
    for (;;) {
        const dirent64* entry = PeekEntry(*file, listing);
        if (!entry) {
            readError = errno;
            break;
        }
        const std::u16string wide = platform::modules::PathFromUtf8(entry->d_name);
        const size_t size = kNameOffset + wide.size() * sizeof(WCHAR);
        if (used > bufferSize || size > bufferSize - used)
            break;  // kept for the next call
        auto* info = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer + used);
        const bool written = WriteEntry(file->descriptor, entry->d_name, wide, *info);
        listing.next += entry->d_reclen;
        if (!written)
            continue;
        if (last)
            last->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<char*>(info) - reinterpret_cast<char*>(last));
        last = info;
        used += (size + kEntryAlignment - 1) / kEntryAlignment * kEntryAlignment;
    }
    if (last)
        return TRUE;  // a failed read is reported by the next call, which meets it again
    if (readError != 0)
        return Failed(ERROR_READ_FAULT);
    return Failed(listing.next == listing.filled ? ERROR_NO_MORE_FILES : ERROR_MORE_DATA);
}

}  // extern "C"
