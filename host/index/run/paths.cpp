// Paths as the index keeps them (absolute, "~" expanded where no shell did
// it), and the stamp it tells a changed file by.
#include "index/run/paths.h"

#include "system/platform_differences.h"

#include <sys/stat.h>

namespace host::index {
namespace {

// FILETIME ticks: 100 ns since 1601, as the platform counts file times.
std::int64_t Ticks(const timespec& time)
{
    constexpr std::int64_t secondsFrom1601 = 11644473600LL;
    return (static_cast<std::int64_t>(time.tv_sec) + secondsFrom1601) * 10000000LL + time.tv_nsec / 100;
}

// True for an absolute path without "." or ".." parts or doubled
// separators, as the walk makes them under an absolute folder.
bool IsPlainAbsolute(std::u16string_view path)
{
    if (path.empty() || path[0] != u'/')
        return false;
    for (size_t slash = 0; slash != std::u16string_view::npos;) {
        const size_t next = path.find(u'/', slash + 1);
        const std::u16string_view part = path.substr(slash + 1, next == path.npos ? path.npos : next - slash - 1);
        if (part.empty() || part == u"." || part == u"..")
            return false;
        slash = next;
    }
    return true;
}

}  // namespace

std::u16string IndexedPath(std::u16string path)
{
    if (IsPlainAbsolute(path))
        return path;  // the common case, without a look at the working folder
    DWORD units = GetFullPathNameW(reinterpret_cast<LPCWSTR>(path.c_str()), 0, nullptr, nullptr);
    std::u16string full(units, u'\0');
    if (units == 0 || (units = GetFullPathNameW(reinterpret_cast<LPCWSTR>(path.c_str()), units,
                                                reinterpret_cast<LPWSTR>(full.data()), nullptr)) >= full.size())
        return path;
    full.resize(units);
    return full;
}

std::u16string HomeExpanded(std::u16string path)
{
    if (path.empty() || path[0] != u'~' || (path.size() > 1 && path[1] != u'/' && path[1] != pathSeparator))
        return path;
    PWSTR home = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &home)))
        path.replace(0, 1, reinterpret_cast<const char16_t*>(home));
    CoTaskMemFree(home);
    return path;
}

bool StampOf(const std::string& path, FileStamp& stamp)
{
    // The index is built on Linux only: the change time and the file number
    // are the system's own, which no listing of a folder gives.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return false;
    stamp = {static_cast<std::int64_t>(status.st_size), Ticks(status.st_mtim), Ticks(status.st_ctim),
             static_cast<std::int64_t>(status.st_ino)};
    return true;
}

bool StampOf(const InputFile& input, const std::string& path, FileStamp& stamp)
{
    // A link's listing may describe the link itself (one that leads
    // nowhere, or as the platform lists links): the system is asked.
    const ListedStatus& listed = input.listed;
    if (!listed.identified || listed.link)
        return StampOf(path, stamp);
    stamp = {static_cast<std::int64_t>(listed.size), listed.lastWrite, listed.changeTime,
             static_cast<std::int64_t>(listed.fileId)};
    return true;
}

}  // namespace host::index
