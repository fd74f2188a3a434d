// The escaping, written through a 4 KiB buffer on the stack: each pass takes
// only as many units as surely fit (six bytes a unit at most, its \uXXXX
// escape), so that the inner loops never test for room. A table for each
// escaping tells the ASCII that goes out as it is, and runs of ASCII, of
// two-byte and of three-byte letters each go out in a loop of their own.
#include "text/text_escape.h"

#include <algorithm>

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

// Writes units of `text` from `i` on as UTF-8 with escapes, as many as
// surely fit in `room` bytes (a unit takes at most six bytes, an escape; a
// surrogate pair four); answers the end of what was written and moves `i`
// past the units written.
char* WriteUnits(std::u16string_view text, size_t& i, char* target, size_t room, const bool* plain)
{
    const char16_t* units = text.data();
    const size_t length = text.size();
    const size_t stop = i + std::min(length - i, room / 6 - 1);
    while (i < stop) {
        // Runs of one script go out in loops of their own, with one test a
        // unit: Latin text, then two-byte and three-byte letters.
        while (i < stop && units[i] < 0x80 && plain[units[i]])
            *target++ = char(units[i++]);
        while (i < stop && units[i] >= 0xA0 && units[i] < 0x800) {
            const char16_t unit = units[i++];
            *target++ = char(0xC0 | (unit >> 6));
            *target++ = char(0x80 | (unit & 0x3F));
        }
        while (i < stop && units[i] >= 0x800 && units[i] < 0xD800) {
            const char16_t unit = units[i++];
            *target++ = char(0xE0 | (unit >> 12));
            *target++ = char(0x80 | ((unit >> 6) & 0x3F));
            *target++ = char(0x80 | (unit & 0x3F));
        }
        if (i == stop)
            break;
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
            target = WriteEscape(target, unit);
        }
    }
    return target;
}

}  // namespace

void AppendEscaped(std::string& out, std::u16string_view text, Escaping escaping)
{
    // Written piece by piece into a buffer of its own and appended, so that
    // the output is not cleared before it is written.
    char buffer[4096];
    const bool* plain = escaping == Escaping::json ? plainTable.json : plainTable.terminal;
    size_t i = 0;
    while (i < text.size()) {
        const char* end = WriteUnits(text, i, buffer, sizeof buffer, plain);
        out.append(buffer, static_cast<size_t>(end - buffer));
    }
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
