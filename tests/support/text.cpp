#include "support/text.h"

namespace trellan::test {

std::u16string Utf16(const std::string& utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = utf8[i];
        char32_t code;
        int extra;
        if (lead < 0x80) {
            code = lead;
            extra = 0;
        } else if ((lead >> 5) == 6) {
            code = lead & 0x1F;
            extra = 1;
        } else if ((lead >> 4) == 14) {
            code = lead & 0x0F;
            extra = 2;
        } else {
            code = lead & 0x07;
            extra = 3;
        }
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
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

std::string Utf8(const std::u16string& utf16)
{
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t code = utf16[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
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
    return out;
}

std::string Utf8(LPCWSTR utf16)
{
    return utf16 ? Utf8(std::u16string(utf16)) : std::string();
}

}  // namespace trellan::test
