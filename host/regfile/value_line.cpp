// A value line written and read, with one table of escapes for both ways.
// Written as the platform's editor writes it: a REG_SZ as a quoted string
// only when it reads back unchanged, a four-byte REG_DWORD as dword:, and
// anything else as hex bytes wrapped before column 80. Read leniently: a
// backslash before any other letter stands for itself, a byte may have one
// digit, and hex data may end in a comma.
#include "regfile/value_line.h"

#include "text/text_conversion.h"
#include "text/text_decoding.h"

#include <cstdio>

namespace host {
namespace {

// Hex data lines end before column 80, as the platform's editor wraps them.
constexpr size_t kHexLineUnits = 77;

struct Escape {
    char16_t unit;
    char16_t letter;
};

const Escape escapeTable[] = {
    {u'\\', u'\\'},
    {u'"', u'"'},
    {u'\n', u'n'},
    {u'\r', u'r'},
};

std::u16string Quoted(std::u16string_view text)
{
    std::u16string out = u"\"";
    for (char16_t unit : text) {
        char16_t letter = 0;
        for (const Escape& escape : escapeTable)
            if (escape.unit == unit)
                letter = escape.letter;
        if (letter) {
            out += u'\\';
            out += letter;
        } else {
            out += unit;
        }
    }
    return out + u"\"";
}

std::u16string Ascii(const char* text)
{
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A REG_SZ that reads back unchanged from a quoted string: NUL-terminated,
// no other NUL, no unpaired surrogate.
bool AsPlainString(const std::vector<BYTE>& data, std::u16string* text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0)
        return false;
    text->clear();
    for (size_t i = 0; i + 2 < data.size(); i += 2)
        text->push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    for (size_t i = 0; i < text->size(); ++i) {
        char16_t unit = (*text)[i];
        if (unit == 0)
            return false;
        if (IsHighSurrogate(unit)) {
            if (i + 1 == text->size() || !IsLowSurrogate((*text)[i + 1]))
                return false;
            ++i;
        } else if (IsLowSurrogate(unit)) {
            return false;
        }
    }
    return true;
}

int HexValue(char16_t unit)
{
    if (unit >= u'0' && unit <= u'9')
        return unit - u'0';
    if (unit >= u'a' && unit <= u'f')
        return unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F')
        return unit - u'A' + 10;
    return -1;
}

bool IsBlank(char16_t unit)
{
    return unit == u' ' || unit == u'\t';
}

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The text before a ";" comment, trimmed.
std::u16string_view WithoutComment(std::u16string_view text)
{
    return Trim(text.substr(0, text.find(u';')));
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t unit = text[i] >= u'A' && text[i] <= u'Z' ? char16_t(text[i] + 32) : text[i];
        if (unit != prefix[i])
            return false;
    }
    return true;
}

// Reads a quoted string at the start of `text` (which begins with '"'),
// undoing the escapes; `text` is left behind the closing quote. A backslash
// before any other character stands for itself.
bool ReadQuoted(std::u16string_view& text, std::u16string* out)
{
    out->clear();
    for (size_t i = 1; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit == u'"') {
            text.remove_prefix(i + 1);
            return true;
        }
        if (unit == u'\\' && i + 1 < text.size()) {
            for (const Escape& escape : escapeTable) {
                if (escape.letter == text[i + 1]) {
                    unit = escape.unit;
                    ++i;
                    break;
                }
            }
        }
        out->push_back(unit);
    }
    return false;
}

bool ParseHexBytes(std::u16string_view text, std::vector<BYTE>* bytes, std::string* error)
{
    bytes->clear();
    text = WithoutComment(text);
    if (text.empty())
        return true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(u',', start);
        std::u16string_view item = Trim(text.substr(start, comma == std::u16string_view::npos ? comma : comma - start));
        if (item.empty() && comma == std::u16string_view::npos && !bytes->empty())
            break;  // a trailing comma
        if (item.empty() || item.size() > 2 || HexValue(item[0]) < 0 || (item.size() == 2 && HexValue(item[1]) < 0)) {
            *error = "bad byte \"" + ToUtf8(item) + "\" in hex data";
            return false;
        }
        bytes->push_back(static_cast<BYTE>(item.size() == 2 ? HexValue(item[0]) * 16 + HexValue(item[1])
                                                            : HexValue(item[0])));
        if (comma == std::u16string_view::npos)
            break;
        start = comma + 1;
    }
    return true;
}

void AppendUtf16(std::u16string_view text, std::vector<BYTE>* data)
{
    for (char16_t unit : text) {
        data->push_back(static_cast<BYTE>(unit & 0xFF));
        data->push_back(static_cast<BYTE>(unit >> 8));
    }
}

// REGEDIT4 keeps the text types as 8-bit text.
bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool ParseDword(std::u16string_view digits, RegValueLine* value, std::string* error)
{
    digits = WithoutComment(digits);
    DWORD number = 0;
    bool valid = !digits.empty() && digits.size() <= 8;
    for (char16_t unit : digits) {
        int digit = HexValue(unit);
        valid = valid && digit >= 0;
        number = number * 16 + static_cast<DWORD>(digit < 0 ? 0 : digit);
    }
    if (!valid) {
        *error = "dword: needs 1 to 8 hexadecimal digits";
        return false;
    }
    value->type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8)
        value->data.push_back(static_cast<BYTE>(number >> shift));
    return true;
}

bool ParseHexType(std::u16string_view rest, DWORD* type, size_t* dataStart, std::string* error)
{
    size_t close = rest.find(u"):");
    *type = 0;
    bool valid = close != std::u16string_view::npos && close > 4 && close <= 12;
    for (size_t i = 4; valid && i < close; ++i) {
        int digit = HexValue(rest[i]);
        valid = digit >= 0;
        *type = *type * 16 + static_cast<DWORD>(valid ? digit : 0);
    }
    if (!valid) {
        *error = "hex(TYPE): needs a hexadecimal type";
        return false;
    }
    *dataStart = close + 2;
    return true;
}

}  // namespace

std::u16string FormatValueLine(std::u16string_view name, DWORD type, const std::vector<BYTE>& data)
{
    std::u16string line = name.empty() ? u"@" : Quoted(name);
    line += u"=";
    std::u16string text;
    if (type == REG_SZ && AsPlainString(data, &text))
        return line + Quoted(text);
    char buffer[32];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return line + Ascii(buffer);
    }
    if (type == REG_BINARY) {
        line += u"hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
        line += Ascii(buffer);
    }
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
        line += Ascii(buffer);
        if (i + 1 < data.size()) {
            line += u",";
            if (line.size() - lineStart >= kHexLineUnits) {
                line += u"\\\n  ";
                lineStart = line.size() - 2;
            }
        }
    }
    return line;
}

bool ParseValueLine(std::u16string_view line, bool narrowStrings, RegValueLine* value, std::string* error)
{
    *value = RegValueLine();
    std::u16string_view rest = Trim(line);
    if (!rest.empty() && rest.front() == u'@') {
        rest.remove_prefix(1);
    } else if (!rest.empty() && rest.front() == u'"') {
        if (!ReadQuoted(rest, &value->name)) {
            *error = "value name without its closing quote";
            return false;
        }
    } else {
        *error = "expected a value line (@=... or \"name\"=...)";
        return false;
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != u'=') {
        *error = "expected = after the value name";
        return false;
    }
    rest = Trim(rest.substr(1));

    if (WithoutComment(rest) == u"-") {
        value->remove = true;
        return true;
    }
    if (!rest.empty() && rest.front() == u'"') {
        std::u16string text;
        if (!ReadQuoted(rest, &text)) {
            *error = "string without its closing quote";
            return false;
        }
        if (!WithoutComment(rest).empty()) {
            *error = "text after the closing quote";
            return false;
        }
        value->type = REG_SZ;
        AppendUtf16(text, &value->data);
        AppendUtf16(std::u16string_view(u"\0", 1), &value->data);
        return true;
    }
    if (StartsWithNoCase(rest, u"dword:"))
        return ParseDword(rest.substr(6), value, error);
    if (StartsWithNoCase(rest, u"hex:")) {
        value->type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), &value->data, error);
    }
    if (StartsWithNoCase(rest, u"hex(")) {
        size_t dataStart = 0;
        if (!ParseHexType(rest, &value->type, &dataStart, error) ||
            !ParseHexBytes(rest.substr(dataStart), &value->data, error))
            return false;
        if (narrowStrings && IsTextType(value->type)) {
            std::u16string wide = WidenEightBit(
                std::string_view(reinterpret_cast<const char*>(value->data.data()), value->data.size()));
            value->data.clear();
            AppendUtf16(wide, &value->data);
        }
        return true;
    }
    *error = "unknown value form \"" + ToUtf8(rest) + "\"";
    return false;
}

}  // namespace host
