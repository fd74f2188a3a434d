// Path text for the module functions: UTF-16 in the API, UTF-8 for the
// loader and the file system.
#include "modules_internal.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform::modules {

bool PathToUtf8(LPCWSTR path, std::string& out)
{
    out.clear();
    for (size_t i = 0; path[i] != 0; ++i) {
        char32_t code = path[i];
        if (code >= 0xD800 && code <= 0xDBFF) {
            char32_t low = path[i + 1];
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return true;
}

std::u16string PathFromUtf8(const std::string& path)
{
    std::u16string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    size_t length = path.size();
    for (size_t i = 0; i < length;) {
        unsigned char lead = bytes[i];
        int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = extra >= 0 && i + extra < length;
        for (int k = 1; valid && k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
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
