// Path text for the module and file functions: UTF-16 in the API, the file
// system's bytes (UTF-8, with undecodable bytes escaped) below it.
#include "modules_internal.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform::modules {

bool PathToUtf8(LPCWSTR path, std::string& out)
{
    out.clear();
    if (path[0] == 0)
        return true;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, path, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;  // a lone surrogate names no file
    out.resize(bytes);
    WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, path, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the NUL
    return true;
}

bool FileNameArgument(LPCWSTR name, std::string& path)
{
    if (!name || !PathToUtf8(name, path)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

std::u16string PathFromUtf8(const std::string& path)
{
    if (path.empty())
        return {};
    const int units = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::u16string out(units > 0 ? units : 0, u'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), out.data(), units);
    return out;
}

std::string MakeAbsolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::vector<char> directory(256);
    while (!getcwd(directory.data(), directory.size())) {
        if (errno != ERANGE)
            return path;
        directory.resize(directory.size() * 2);
    }
    std::string absolute = directory.data();
    if (absolute.empty() || absolute.back() != '/')
        absolute += '/';
    // "./name" reads better without its "./".
    return absolute + (path.rfind("./", 0) == 0 ? path.substr(2) : path);
}

}  // namespace platform::modules
