// UTF-16 <-> UTF-8 and TagLib strings.
#include "text_conversion.h"

namespace platform {
namespace {

void AppendUtf8(std::string& out, char32_t code)
{
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

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf8FromUtf16(LPCWSTR text)
{
    std::string out;
    for (; *text; ++text) {
        char32_t code = *text;
        if (IsHighSurrogate(*text) && IsLowSurrogate(text[1])) {
            code = 0x10000 + ((char32_t(text[0]) - 0xD800) << 10) + (char32_t(text[1]) - 0xDC00);
            ++text;
        } else if (IsHighSurrogate(*text) || IsLowSurrogate(*text)) {
            code = 0xFFFD;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::u16string Utf16FromTagLib(const TagLib::String& text)
{
    TagLib::ByteVector bytes = text.data(TagLib::String::UTF16LE);
    return Utf16FromLittleEndian(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
}

std::u16string Utf16FromLittleEndian(const BYTE* bytes, size_t length)
{
    std::u16string out;
    out.reserve(length / 2);
    for (size_t i = 0; i + 1 < length; i += 2) {
        char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        out += unit;
    }
    return out;
}

}  // namespace platform
