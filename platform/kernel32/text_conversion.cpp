// MultiByteToWideChar and WideCharToMultiByte. Text is UTF-8 on Linux, so
// every code page is UTF-8 here, with one difference that file names need:
//   - CP_UTF8 behaves as on the platform: malformed bytes and lone
//     surrogates become U+FFFD, or fail the call when MB_ERR_INVALID_CHARS
//     or WC_ERR_INVALID_CHARS is given.
//   - CP_ACP and CP_OEMCP are the file system's encoding: a byte that does
//     not decode becomes the lone surrogate U+DC80..U+DCFF and such a
//     surrogate becomes its byte again, so that any Linux file name goes to
//     UTF-16 and back without loss. WC_ERR_INVALID_CHARS still refuses the
//     other lone surrogates.
// Runs of ASCII, the common case, are copied in bulk.
#include <win32/kernel32.h>

#include <string>

namespace {

constexpr char16_t escapeBase = 0xDC00;  // an undecodable byte b becomes escapeBase + b

bool EscapesBytes(UINT codePage)
{
    return codePage != CP_UTF8;
}

// Decodes one UTF-8 sequence at text[i]; advances i. Answers U+FFFD (and
// `valid` false) for a malformed sequence, having consumed the bytes that
// began it, or only its lead byte when `byteByByte` (each undecodable byte
// is then escaped on its own).
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t& i, bool& valid, bool byteByByte)
{
    const size_t start = i;
    unsigned char lead = text[i++];
    valid = true;
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
            if (byteByByte)
                i = start + 1;
            return 0xFFFD;
        }
        code = (code << 6) | (text[i++] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        valid = false;
        if (byteByByte)
            i = start + 1;
        return 0xFFFD;
    }
    return code;
}

// Encodes `code` as UTF-8 into `buffer`; answers the byte count.
int EncodeUtf8(char32_t code, char* buffer)
{
    if (code < 0x80) {
        buffer[0] = char(code);
        return 1;
    }
    if (code < 0x800) {
        buffer[0] = char(0xC0 | (code >> 6)), buffer[1] = char(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        buffer[0] = char(0xE0 | (code >> 12)), buffer[1] = char(0x80 | ((code >> 6) & 0x3F));
        buffer[2] = char(0x80 | (code & 0x3F));
        return 3;
    }
    buffer[0] = char(0xF0 | (code >> 18)), buffer[1] = char(0x80 | ((code >> 12) & 0x3F));
    buffer[2] = char(0x80 | ((code >> 6) & 0x3F)), buffer[3] = char(0x80 | (code & 0x3F));
    return 4;
}

// Where output goes: counted only when `capacity` is 0, as the platform's
// size query does.
template <typename Unit>
struct Output {
    Unit* data;
    size_t capacity;
    size_t written = 0;

    bool Room(size_t units) const { return capacity == 0 || written + units <= capacity; }
    void Put(const Unit* units, size_t count)
    {
        if (capacity != 0)
            std::char_traits<Unit>::copy(data + written, units, count);
        written += count;
    }
};

// Copies the run of ASCII that starts at input[i] across unit for unit and
// moves i past it. False when the output has no room for it.
template <typename In, typename Out>
bool CopyAsciiRun(const In* input, size_t length, size_t& i, Output<Out>& output)
{
    size_t run = i;
    while (run < length && input[run] < 0x80)
        ++run;
    if (!output.Room(run - i))
        return false;
    if (output.capacity != 0)
        for (size_t k = i; k < run; ++k)
            output.data[output.written + (k - i)] = Out(input[k]);
    output.written += run - i;
    i = run;
    return true;
}

}  // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR out, int outUnits)
{
    if (!text || outUnits < 0 || (out == nullptr && outUnits != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto* input = reinterpret_cast<const unsigned char*>(text);
    const size_t length = bytes < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(bytes);
    const bool escape = EscapesBytes(codePage);
    Output<char16_t> output{out, static_cast<size_t>(outUnits)};

    for (size_t i = 0; i < length;) {
        if (!CopyAsciiRun(input, length, i, output)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        if (i == length)
            break;
        const size_t start = i;
        bool valid;
        char32_t code = DecodeUtf8(input, length, i, valid, escape);
        if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (!valid && escape)
            code = escapeBase + input[start];
        char16_t units[2];
        size_t count = 1;
        if (code >= 0x10000) {
            units[0] = char16_t(0xD800 + ((code - 0x10000) >> 10));
            units[1] = char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = char16_t(code);
        }
        if (!output.Room(count)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        output.Put(units, count);
    }
    return static_cast<int>(output.written);
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units, LPSTR out, int outBytes,
                               LPCSTR, BOOL* usedDefaultChar)
{
    if (!text || outBytes < 0 || (out == nullptr && outBytes != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    const size_t length = units < 0 ? static_cast<size_t>(lstrlenW(text)) + 1 : static_cast<size_t>(units);
    const bool escape = EscapesBytes(codePage);
    Output<char> output{out, static_cast<size_t>(outBytes)};

    for (size_t i = 0; i < length; ++i) {
        if (!CopyAsciiRun(text, length, i, output)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        if (i == length)
            break;
        char32_t code = text[i];
        char buffer[4];
        int size;
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
            size = EncodeUtf8(code, buffer);
        } else if (escape && code >= escapeBase + 0x80 && code <= escapeBase + 0xFF) {
            buffer[0] = char(code - escapeBase);  // an escaped byte of a file name
            size = 1;
        } else if (code >= 0xD800 && code < 0xE000) {
            if (flags & WC_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            if (usedDefaultChar)
                *usedDefaultChar = TRUE;
            size = EncodeUtf8(0xFFFD, buffer);  // a lone surrogate
        } else {
            size = EncodeUtf8(code, buffer);
        }
        if (!output.Room(size)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        output.Put(buffer, size);
    }
    return static_cast<int>(output.written);
}

}  // extern "C"
