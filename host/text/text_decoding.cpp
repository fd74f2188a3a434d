// The decoding of a file's text. UTF-16LE is put together by hand from the
// byte pairs after its mark; 8-bit text goes through the platform's
// converters, strictly, as UTF-8 and then the system's code page. Every code
// page of the Linux stand-in is UTF-8, so bytes that fail both are read as
// Windows-1252 by a table. A text kind's look sees at most the first 64 KiB,
// decoded again as pieces come; the NUL test reads only the new bytes.
#include "text/text_decoding.h"

#include "system/whole_file.h"
#include "text/text_conversion.h"

#include "winapi.h"

namespace host {
namespace {

// Windows-1252 at 0x80-0x9F; the other bytes are Latin-1. The five bytes the
// code page leaves undefined keep their own value, as the platform does.
const char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Whether the bytes open with the UTF-16LE byte-order mark.
bool IsUtf16(std::string_view bytes)
{
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

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
    if (IsUtf16(bytes)) {
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

namespace {

// How much of a text's beginning is decoded for its kind's look.
constexpr size_t kBeginningBytes = 65536;

// Where the bytes from `fresh` on hold a NUL character: a zero byte, or a
// zero unit after a UTF-16 mark.
bool HoldsNul(std::string_view bytes, size_t fresh)
{
    if (!IsUtf16(bytes))
        return bytes.find('\0', fresh) != std::string_view::npos;
    for (size_t unit = fresh < 2 ? 2 : fresh - fresh % 2; unit + 1 < bytes.size(); unit += 2)
        if (bytes[unit] == 0 && bytes[unit + 1] == 0)
            return true;
    return false;
}

}  // namespace

bool ReadTextFile(const std::u16string& path, const TextKind& kind, std::u16string* text, std::string* error)
{
    const std::string name = path == u"-" ? std::string("standard input") : ToUtf8(path);
    Opening opening = kind.opens ? Opening::unknown : Opening::fits;
    const PieceCheck check = [&](std::string_view bytes, size_t fresh, std::string* problem) {
        std::string why;
        if (bytes.size() > kind.mostBytes)
            why = "it is larger than " + std::to_string(kind.mostBytes >> 20) + " MiB";
        else if (HoldsNul(bytes, fresh))
            why = "it holds a NUL character";
        else if (opening == Opening::unknown) {
            const bool whole = fresh == bytes.size();
            opening = kind.opens(DecodeText(bytes.substr(0, kBeginningBytes)), whole || bytes.size() >= kBeginningBytes,
                                 &why);
        }
        if (why.empty())
            return true;
        *problem = name + " is not " + kind.name + ": " + why;
        return false;
    };
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error, check))
        return false;
    *text = DecodeText(bytes);
    return true;
}

}  // namespace host
