// GetFullPathNameW: a path made absolute against the working folder, with
// "." and ".." resolved and repeated separators dropped, by the text alone:
// the file need not exist, and links are not followed.
#include "modules_internal.h"

#include <win32/kernel32.h>

#include <vector>

namespace {

std::string Normalized(const std::string& absolute)
{
    std::vector<std::string> parts;
    for (size_t start = 1; start <= absolute.size();) {
        size_t end = absolute.find('/', start);
        if (end == std::string::npos)
            end = absolute.size();
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    // A trailing separator stays, as the platform keeps it.
    if (!parts.empty() && absolute.back() == '/')
        out += '/';
    return out.empty() ? "/" : out;
}

}  // namespace

extern "C" DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD size, LPWSTR buffer, LPWSTR* filePart)
{
    std::string path;
    if (!fileName || !platform::modules::PathToUtf8(fileName, path) || path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const std::string absolute = platform::modules::MakeAbsolute(path);
    if (absolute.empty() || absolute[0] != '/') {
        SetLastError(ERROR_PATH_NOT_FOUND);  // no working folder to resolve against (it was removed)
        return 0;
    }
    const std::u16string full = platform::modules::PathFromUtf8(Normalized(absolute));
    if (full.size() + 1 > size)
        return static_cast<DWORD>(full.size() + 1);  // the units needed, with the NUL
    std::char_traits<char16_t>::copy(reinterpret_cast<char16_t*>(buffer), full.c_str(), full.size() + 1);
    if (filePart) {
        const size_t slash = full.find_last_of(u'/');
        *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}
