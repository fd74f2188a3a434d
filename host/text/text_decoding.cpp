#include "text/text_decoding.h"

#include "system/platform_specifics.h"
#include "text/text_conversion.h"

#include "winapi.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace host {
namespace {

// Windows-1252 at 0x80-0x9F; the other bytes are Latin-1. The five bytes the
// code page leaves undefined keep their own value, as the platform does.
const char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Strict decoding in a code page: false when a byte sequence is invalid.
bool Decode(UINT codePage, std::string_view bytes, std::u16string* text)
{
    text->clear();
    if (bytes.empty())
        return true;
    const int length = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (units <= 0)
        return false;
    text->resize(static_cast<size_t>(units));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length,
                               reinterpret_cast<LPWSTR>(&(*text)[0]), units) == units;
}

}  // namespace

std::u16string WidenEightBit(std::string_view bytes)
{
    std::u16string text;
    if (Decode(CP_UTF8, bytes, &text) || Decode(CP_ACP, bytes, &text))
        return text;
    text.clear();
    for (unsigned char byte : bytes)
        text.push_back(byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : char16_t(byte));
    return text;
}

std::u16string DecodeText(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return WidenEightBit(bytes);
}

bool ReadFileBytes(const std::u16string& path, std::string* bytes, std::string* error)
{
    if (path == u"-") {
        if (ReadStandardInput(bytes))
            return true;
        *error = "cannot read standard input";
        return false;
    }
    const std::filesystem::path file(path);
    std::error_code status;
    if (std::filesystem::is_directory(file, status)) {
        *error = ToUtf8(path) + " is a folder, not a file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot open " + ToUtf8(path) + ": " + std::strerror(errno);
        return false;
    }
    try {
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        in.setstate(std::ios::badbit);
    }
    if (in.bad()) {
        *error = "cannot read " + ToUtf8(path) + ": the read failed";
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::u16string& path, const std::string& bytes, std::string* error)
{
    const std::filesystem::path file(path);
    std::error_code status;
    if (std::filesystem::is_directory(file, status)) {
        *error = ToUtf8(path) + " is a folder, not a file";
        return false;
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        *error = "cannot write " + ToUtf8(path) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReadTextFile(const std::u16string& path, std::u16string* text, std::string* error)
{
    std::string bytes;
    if (!ReadFileBytes(path, &bytes, error))
        return false;
    *text = DecodeText(bytes);
    return true;
}

}  // namespace host
