// FindFirstFileW, FindNextFileW and FindClose over opendir and readdir. A
// search is either a whole folder ("*" or "*.*") or one name.
#include "datafile_modules.h"
#include "file_attributes.h"
#include "kernel_objects.h"
#include "modules_internal.h"

#include <win32/kernel32.h>

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <new>

namespace platform::kernel {

struct SearchObject : KernelObject {
    static constexpr Kind kindOf = Kind::search;
    SearchObject() : KernelObject(Kind::search) {}
    ~SearchObject() override
    {
        if (folder)
            closedir(folder);
    }
    DIR* folder = nullptr;  // null: a search for one name, already reported
};

}  // namespace platform::kernel

namespace {

using platform::kernel::SearchObject;

bool IsWholeFolderPattern(const std::string& last)
{
    return last == "*" || last == "*.*";
}

// Fills `data` for the entry `name` of the folder open as `folderFd`. False
// when the entry vanished meanwhile.
bool FillEntry(int folderFd, const char* name, WIN32_FIND_DATAW& data)
{
    struct stat target {};
    bool link = false;
    if (!platform::kernel::StatusAt(folderFd, name, target, link))
        return false;
    platform::kernel::FillStatus(data, target, link);
    data.dwReserved0 = data.dwReserved1 = 0;
    data.cAlternateFileName[0] = 0;
    const std::u16string wide = platform::modules::PathFromUtf8(name);
    const size_t units = wide.size() < MAX_PATH - 1 ? wide.size() : MAX_PATH - 1;
    wide.copy(data.cFileName, units);
    data.cFileName[units] = 0;
    return true;
}

// The next entry of an open folder; false with the last error set at the end.
BOOL NextEntry(SearchObject& search, WIN32_FIND_DATAW& data)
{
    for (;;) {
        errno = 0;
        const dirent* entry = search.folder ? readdir(search.folder) : nullptr;
        if (!entry) {
            SetLastError(errno == 0 ? ERROR_NO_MORE_FILES : ERROR_READ_FAULT);
            return FALSE;
        }
        if (FillEntry(dirfd(search.folder), entry->d_name, data))
            return TRUE;
    }
}

}  // namespace

extern "C" {

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    std::string path;
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!platform::modules::FileNameArgument(pattern, path))
        return INVALID_HANDLE_VALUE;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);

    auto* search = new (std::nothrow) SearchObject;
    if (!search) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (IsWholeFolderPattern(last)) {
        search->folder = opendir(folder.c_str());
        if (!search->folder) {
            const int error = errno;
            delete search;
            SetLastError(error == ENOTDIR ? ERROR_DIRECTORY : platform::datafile::FileOpenError(folder, error));
            return INVALID_HANDLE_VALUE;
        }
        if (!NextEntry(*search, *data)) {
            delete search;
            return INVALID_HANDLE_VALUE;
        }
        return search;
    }

    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int openError = errno;
    const bool found = folderFd >= 0 && !last.empty() && FillEntry(folderFd, last.c_str(), *data);
    if (folderFd >= 0)
        close(folderFd);
    if (!found) {
        delete search;
        SetLastError(folderFd < 0 ? platform::datafile::FileOpenError(folder, openError) : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL WINAPI FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data)
{
    SearchObject* search = platform::kernel::ObjectOf<SearchObject>(handle);
    if (!search || !data) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return NextEntry(*search, *data);
}

BOOL WINAPI FindClose(HANDLE handle)
{
    SearchObject* search = platform::kernel::ObjectOf<SearchObject>(handle);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete search;
    return TRUE;
}

}  // extern "C"
