#include "reg_text_file.h"

#include "console.h"

#include "winapi.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace host {
namespace {

bool Decode(UINT codePage, DWORD flags, const std::string& bytes, std::u16string* text)
{
    text->clear();
    if (bytes.empty())
        return true;
    int units = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (units <= 0)
        return false;
    std::basic_string<WCHAR> wide(static_cast<size_t>(units), 0);
    MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), &wide[0], units);
    text->assign(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
    return true;
}

}  // namespace

bool ReadTextFile(const std::u16string& path, std::u16string* text, std::string* error)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        *error = "cannot open " + ToUtf8(path) + ": " + std::strerror(errno);
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read " + ToUtf8(path);
        return false;
    }

    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text->clear();
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return true;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    if (Decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, text) || Decode(CP_ACP, 0, bytes, text))
        return true;
    *error = ToUtf8(path) + " is neither UTF-8 nor text in the system's code page";
    return false;
}

}  // namespace host
