#include "index/paths.h"

namespace host::index {
namespace {

std::int64_t Ticks(const FILETIME& time)
{
    return static_cast<std::int64_t>((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
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

bool StampOf(const InputFile& input, const std::u16string& path, FileStamp& stamp)
{
    if (input.listed) {
        stamp = {static_cast<std::int64_t>(input.size), Ticks(input.lastWrite)};
        return true;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(reinterpret_cast<LPCWSTR>(path.c_str()), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stamp = {static_cast<std::int64_t>((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow),
             Ticks(data.ftLastWriteTime)};
    return true;
}

}  // namespace host::index
