// CreateFileW, ReadFile, WriteFile, CloseHandle and the
// standard handles, over POSIX file descriptors.
#include "datafile_modules.h"
#include "file_object.h"
#include "modules_internal.h"

#include <win32/files.h>
#include <win32/kernel32.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform::kernel {

FileObject::~FileObject()
{
    if (!standard)
        close(descriptor);
}

}  // namespace platform::kernel

namespace {

using platform::kernel::FileObject;
using platform::kernel::KernelObject;
using platform::kernel::ObjectOf;

int OpenFlags(DWORD access, DWORD creation, bool& valid)
{
    valid = true;
    int flags = O_CLOEXEC | O_NOCTTY;
    const bool read = access & GENERIC_READ;
    const bool write = access & GENERIC_WRITE;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (creation) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
        return flags;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return flags | O_TRUNC;
    default:
        valid = false;
        return 0;
    }
}

FileObject* FileOf(HANDLE handle)
{
    FileObject* file = ObjectOf<FileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

FileObject standardInput(0, true);
FileObject standardOutput(1, true);
FileObject standardError(2, true);

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
                          DWORD flags, HANDLE)
{
    std::string path;
    bool valid = false;
    const int openFlags = OpenFlags(access, creation, valid);
    if (!fileName || !valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!platform::modules::FileNameArgument(fileName, path))
        return INVALID_HANDLE_VALUE;
    // Opened without waiting, as the platform opens: a pipe with no writer
    // would keep open() waiting for ever. Reads wait as usual afterwards.
    int descriptor;
    do
        descriptor = open(path.c_str(), openFlags | O_NONBLOCK, 0666);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        const int error = errno;
        SetLastError(error == EEXIST ? ERROR_FILE_EXISTS
                     : error == EISDIR ? ERROR_ACCESS_DENIED
                                       : platform::datafile::FileOpenError(path, error));
        return INVALID_HANDLE_VALUE;
    }
    struct stat status {};
    const bool known = fstat(descriptor, &status) == 0;
    const bool folder = known && S_ISDIR(status.st_mode);
    if (folder && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED);  // the platform opens folders only for backup semantics
        return INVALID_HANDLE_VALUE;
    }
    if (known && !S_ISREG(status.st_mode) && !folder)  // a folder is never read as a stream
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    auto* file = new (std::nothrow) FileObject(descriptor, false, folder);
    if (!file) {
        close(descriptor);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return file;
}

BOOL WINAPI ReadFile(HANDLE handle, void* buffer, DWORD bytes, DWORD* read, void*)
{
    if (read)
        *read = 0;
    FileObject* file = FileOf(handle);
    if (!file)
        return FALSE;
    ssize_t got;
    do
        got = ::read(file->descriptor, buffer, bytes);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        SetLastError(errno == EISDIR ? ERROR_INVALID_FUNCTION : ERROR_READ_FAULT);
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, const void* buffer, DWORD bytes, DWORD* written, void*)
{
    if (written)
        *written = 0;
    FileObject* file = FileOf(handle);
    if (!file)
        return FALSE;
    const auto* data = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < bytes) {
        ssize_t put = ::write(file->descriptor, data + done, bytes - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) {
            SetLastError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
            if (written)
                *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (written)
        *written = done;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* object = static_cast<KernelObject*>(handle);
    switch (object->kind) {
    case KernelObject::Kind::file:
        if (!static_cast<FileObject*>(object)->standard)
            delete object;
        return TRUE;
    case KernelObject::Kind::thread:
        delete object;  // the thread, if it still runs, keeps its own share of the state
        return TRUE;
    case KernelObject::Kind::search:
        break;  // FindClose's
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE WINAPI GetStdHandle(DWORD which)
{
    switch (which) {
    case STD_INPUT_HANDLE:
        return &standardInput;
    case STD_OUTPUT_HANDLE:
        return &standardOutput;
    case STD_ERROR_HANDLE:
        return &standardError;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI GetConsoleMode(HANDLE handle, DWORD* mode)
{
    FileObject* file = FileOf(handle);
    if (!file || !isatty(file->descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mode)
        *mode = 0;
    return TRUE;
}

}  // extern "C"
