// MultiByteToWideChar and WideCharToMultiByte. Every code page is UTF-8
// here, the 8-bit form of text on Linux. Malformed bytes and lone
// surrogates become U+FFFD, or fail the call when MB_ERR_INVALID_CHARS or
// WC_ERR_INVALID_CHARS is given.
#include <win32/kernel32.h>

#include <string>

namespace {

// Decodes one UTF-8 sequence at text[i]; advances i. Answers U+FFFD (and
// `valid` false) for a malformed sequence.
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t& i, bool& valid)
{
    unsigned char lead = text[i++];
    valid = true;
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t code;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        valid = false;
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= length || (text[i] & 0xC0) != 0x80) {
            valid = false;
            return 0xFFFD;
        }
        code = (code << 6) | (text[i++] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        valid = false;
        return 0xFFFD;
    }
    return code;
}

}  // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT, DWORD flags, LPCSTR text, int bytes, LPWSTR out, int outUnits)
{
    if (!text || outUnits < 0 || (out == nullptr && outUnits != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto* input = reinterpret_cast<const unsigned char*>(text);
    size_t length = bytes < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(bytes);

    size_t written = 0;
    auto put = [&](char16_t unit) -> bool {
        if (outUnits != 0) {
            if (written >= static_cast<size_t>(outUnits))
                return false;
            out[written] = unit;
        }
        ++written;
        return true;
    };
    for (size_t i = 0; i < length;) {
        bool valid;
        char32_t code = DecodeUtf8(input, length, i, valid);
        if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
        bool fits = code >= 0x10000 ? put(char16_t(0xD800 + ((code - 0x10000) >> 10))) &&
                                          put(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)))
                                    : put(char16_t(code));
        if (!fits) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
    }
    return static_cast<int>(written);
}

int WINAPI WideCharToMultiByte(UINT, DWORD flags, LPCWSTR text, int units, LPSTR out, int outBytes, LPCSTR,
                               BOOL* usedDefaultChar)
{
    if (!text || outBytes < 0 || (out == nullptr && outBytes != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    size_t length = units < 0 ? static_cast<size_t>(lstrlenW(text)) + 1 : static_cast<size_t>(units);

    size_t written = 0;
    char buffer[4];
    for (size_t i = 0; i < length; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            if (flags & WC_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            code = 0xFFFD;  // a lone surrogate
        }
        int size;
        if (code < 0x80) {
            buffer[0] = char(code), size = 1;
        } else if (code < 0x800) {
            buffer[0] = char(0xC0 | (code >> 6)), buffer[1] = char(0x80 | (code & 0x3F)), size = 2;
        } else if (code < 0x10000) {
            buffer[0] = char(0xE0 | (code >> 12)), buffer[1] = char(0x80 | ((code >> 6) & 0x3F));
            buffer[2] = char(0x80 | (code & 0x3F)), size = 3;
        } else {
            buffer[0] = char(0xF0 | (code >> 18)), buffer[1] = char(0x80 | ((code >> 12) & 0x3F));
            buffer[2] = char(0x80 | ((code >> 6) & 0x3F)), buffer[3] = char(0x80 | (code & 0x3F)), size = 4;
        }
        if (outBytes != 0) {
            if (written + size > static_cast<size_t>(outBytes)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::char_traits<char>::copy(out + written, buffer, size);
        }
        written += size;
    }
    return static_cast<int>(written);
}

}  // extern "C"
