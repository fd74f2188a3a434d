#include "reg_value_text.h"

#include "console.h"

#include <cstdio>

namespace host {
namespace {

std::u16string Escape(std::u16string_view text)
{
    std::u16string out;
    for (char16_t unit : text) {
        if (unit == u'\\' || unit == u'"')
            out += u'\\';
        out += unit;
    }
    return out;
}

std::string Quoted(std::u16string_view text)
{
    return "\"" + ToUtf8(Escape(text)) + "\"";
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
// no other NUL, no line break, no unpaired surrogate.
bool AsPlainString(const std::vector<BYTE>& data, std::u16string* text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    text->clear();
    for (size_t i = 0; i + 2 < data.size(); i += 2)
        text->push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0)
        return false;
    for (size_t i = 0; i < text->size(); ++i) {
        char16_t unit = (*text)[i];
        if (unit == 0 || unit == u'\r' || unit == u'\n')
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
// undoing \\ and \"; `text` is left behind the closing quote.
bool ReadQuoted(std::u16string_view& text, std::u16string* out)
{
    out->clear();
    for (size_t i = 1; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit == u'"') {
            text.remove_prefix(i + 1);
            return true;
        }
        if (unit == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"'))
            unit = text[++i];
        out->push_back(unit);
    }
    return false;
}

bool ParseHexBytes(std::u16string_view text, std::vector<BYTE>* bytes, std::string* error)
{
    bytes->clear();
    text = Trim(text);
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

}  // namespace

std::string FormatValueLine(const std::u16string& name, DWORD type, const std::vector<BYTE>& data)
{
    std::string line = name.empty() ? "@" : Quoted(name);
    line += "=";
    std::u16string text;
    if (type == REG_SZ && AsPlainString(data, &text))
        return line + Quoted(text);
    char buffer[32];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return line + buffer;
    }
    if (type == REG_BINARY)
        line += "hex:";
    else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
        line += buffer;
    }
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
        line += buffer;
        if (i + 1 < data.size()) {
            line += ",";
            if (line.size() - lineStart > 76) {
                line += "\\\n  ";
                lineStart = line.size() - 2;
            }
        }
    }
    return line;
}

bool ParseValueLine(std::u16string_view line, RegValueLine* value, std::string* error)
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

    if (rest == u"-") {
        value->remove = true;
        return true;
    }
    if (!rest.empty() && rest.front() == u'"') {
        std::u16string text;
        if (!ReadQuoted(rest, &text)) {
            *error = "string without its closing quote";
            return false;
        }
        if (!Trim(rest).empty()) {
            *error = "text after the closing quote";
            return false;
        }
        value->type = REG_SZ;
        for (char16_t unit : text) {
            value->data.push_back(static_cast<BYTE>(unit & 0xFF));
            value->data.push_back(static_cast<BYTE>(unit >> 8));
        }
        value->data.push_back(0);
        value->data.push_back(0);
        return true;
    }
    if (StartsWithNoCase(rest, u"dword:")) {
        std::u16string_view digits = rest.substr(6);
        DWORD number = 0;
        if (digits.empty() || digits.size() > 8) {
            *error = "dword: needs 1 to 8 hexadecimal digits";
            return false;
        }
        for (char16_t unit : digits) {
            int digit = HexValue(unit);
            if (digit < 0) {
                *error = "dword: needs 1 to 8 hexadecimal digits";
                return false;
            }
            number = number * 16 + static_cast<DWORD>(digit);
        }
        value->type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            value->data.push_back(static_cast<BYTE>(number >> shift));
        return true;
    }
    if (StartsWithNoCase(rest, u"hex:")) {
        value->type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), &value->data, error);
    }
    if (StartsWithNoCase(rest, u"hex(")) {
        size_t close = rest.find(u"):");
        if (close == std::u16string_view::npos || close == 4 || close > 12) {
            *error = "hex(TYPE): needs a hexadecimal type";
            return false;
        }
        DWORD type = 0;
        for (char16_t unit : rest.substr(4, close - 4)) {
            int digit = HexValue(unit);
            if (digit < 0) {
                *error = "hex(TYPE): needs a hexadecimal type";
                return false;
            }
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value->type = type;
        return ParseHexBytes(rest.substr(close + 2), &value->data, error);
    }
    *error = "unknown value form \"" + ToUtf8(rest) + "\"";
    return false;
}

}  // namespace host
