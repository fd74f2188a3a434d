#include "text/text_escape.h"

namespace host {
namespace {

// Which ASCII units go out as they are, for each escaping: printable ones,
// but for the quote and backslash in JSON.
struct PlainTable {
    bool json[128];
    bool terminal[128];
    constexpr PlainTable() : json(), terminal()
    {
        for (unsigned unit = 0x20; unit < 0x7F; ++unit) {
            terminal[unit] = true;
            json[unit] = unit != '"' && unit != '\\';
        }
    }
};
constexpr PlainTable plainTable;

// Writes the two-character escape of `unit`, or its \uXXXX escape; answers
// the end of what was written.
char* WriteEscape(char* target, unsigned unit)
{
    static const char digits[] = "0123456789abcdef";
    char letter = 0;
    switch (unit) {
    case u'"':
        letter = '"';
        break;
    case u'\\':
        letter = '\\';
        break;
    case u'\n':
        letter = 'n';
        break;
    case u'\r':
        letter = 'r';
        break;
    case u'\t':
        letter = 't';
        break;
    default:
        break;
    }
    *target++ = '\\';
    if (letter) {
        *target++ = letter;
        return target;
    }
    *target++ = 'u';
    *target++ = digits[(unit >> 12) & 0xF];
    *target++ = digits[(unit >> 8) & 0xF];
    *target++ = digits[(unit >> 4) & 0xF];
    *target++ = digits[unit & 0xF];
    return target;
}

}  // namespace

void AppendEscaped(std::string& out, std::u16string_view text, Escaping escaping)
{
    const char16_t* units = text.data();
    const size_t length = text.size();
    // Three bytes a unit hold any text but escapes, which take up to six:
    // the room is checked before each escape and grown when it runs short.
    const size_t start = out.size();
    out.resize(start + 3 * length + 8);
    char* target = out.data() + start;
    char* end = out.data() + out.size();
    const bool* plain = escaping == Escaping::json ? plainTable.json : plainTable.terminal;
    size_t i = 0;
    while (i < length) {
        const char16_t unit = units[i++];
        if (unit < 0x80 && plain[unit]) {
            *target++ = char(unit);
        } else if (unit >= 0xA0 && unit < 0x800) {
            *target++ = char(0xC0 | (unit >> 6));
            *target++ = char(0x80 | (unit & 0x3F));
        } else if (unit >= 0x800 && (unit < 0xD800 || unit >= 0xE000)) {
            *target++ = char(0xE0 | (unit >> 12));
            *target++ = char(0x80 | ((unit >> 6) & 0x3F));
            *target++ = char(0x80 | (unit & 0x3F));
        } else if (unit >= 0xD800 && unit < 0xDC00 && i < length && units[i] >= 0xDC00 && units[i] < 0xE000) {
            const char32_t code = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (units[i++] - 0xDC00);
            *target++ = char(0xF0 | (code >> 18));
            *target++ = char(0x80 | ((code >> 12) & 0x3F));
            *target++ = char(0x80 | ((code >> 6) & 0x3F));
            *target++ = char(0x80 | (code & 0x3F));
        } else {
            // A control character (U+0000..U+001F, U+007F..U+009F), a quote
            // or backslash in JSON, or a lone surrogate.
            if (size_t(end - target) < 3 * (length - i) + 8) {
                const size_t written = target - out.data();
                out.resize(out.size() + 3 * (length - i) + 64);
                target = out.data() + written;
                end = out.data() + out.size();
            }
            target = WriteEscape(target, unit);
        }
    }
    out.resize(target - out.data());
}

std::string JsonString(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    AppendEscaped(out, text, Escaping::json);
    out += '"';
    return out;
}

}  // namespace host
