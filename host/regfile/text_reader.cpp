// The .reg reader: the text is split into logical lines, then read line by
// line into entries, with nothing applied. Only a hex value line goes on
// with the next after a trailing "\"; any other line ending in one (a
// comment, say) stands alone. The header is the first line neither blank
// nor a comment; under REGEDIT4 the text types' hex data is 8-bit text. A
// key line ends at the first "]" that only blanks or a comment follow.
#include "regfile/text_reader.h"

#include "text/text_conversion.h"

namespace host {
namespace {

const char16_t headerVersion5[] = u"Windows Registry Editor Version 5.00";
const char16_t headerVersion4[] = u"REGEDIT4";

struct LogicalLine {
    int number;  // of its first physical line
    std::u16string text;
};

std::string LineError(int line, const std::string& message)
{
    return "line " + std::to_string(line) + ": " + message;
}

std::string NoHeader(int line)
{
    return LineError(line, "not a registry file: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
}

bool IsBlank(char16_t unit)
{
    return unit == u' ' || unit == u'\t';
}

std::u16string_view TrimEnd(std::u16string_view text)
{
    while (!text.empty() && (IsBlank(text.back()) || text.back() == u'\r'))
        text.remove_suffix(1);
    return text;
}

std::u16string_view TrimStart(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

// A value line whose data is hex bytes: @= or "name"=, then "hex".
bool IsHexValueLine(std::u16string_view line)
{
    line = TrimStart(line);
    if (!line.empty() && line.front() == u'@') {
        line.remove_prefix(1);
    } else if (!line.empty() && line.front() == u'"') {
        size_t i = 1;
        while (i < line.size() && line[i] != u'"')
            i += line[i] == u'\\' ? 2 : 1;
        line.remove_prefix(i < line.size() ? i + 1 : line.size());
    } else {
        return false;
    }
    line = TrimStart(line);
    if (line.empty() || line.front() != u'=')
        return false;
    line = TrimStart(line.substr(1));
    return line.size() >= 3 && (line[0] | 0x20) == u'h' && (line[1] | 0x20) == u'e' && (line[2] | 0x20) == u'x';
}

// Splits the text into logical lines: CR LF or LF ends a line, and a line of
// hex data ending in "\" goes on with the next one (leading blanks
// dropped).
std::vector<LogicalLine> LogicalLines(std::u16string_view text)
{
    std::vector<LogicalLine> lines;
    bool continuing = false;
    int number = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u'\n', start);
        std::u16string_view line = text.substr(start, end == std::u16string_view::npos ? end : end - start);
        ++number;
        line = TrimEnd(continuing ? TrimStart(line) : line);
        if (!continuing)
            lines.push_back({number, std::u16string()});
        std::u16string& current = lines.back().text;
        continuing = !line.empty() && line.back() == u'\\' && (continuing || IsHexValueLine(line));
        current.append(line.substr(0, line.size() - (continuing ? 1 : 0)));
        if (end == std::u16string_view::npos)
            break;
        start = end + 1;
    }
    return lines;
}

// The key of a "[KEY]" line: up to the first "]" that only blanks or a
// comment follow (a key name may hold "]" itself).
bool KeyOfLine(std::u16string_view line, std::u16string_view* key)
{
    for (size_t close = line.find(u']'); close != std::u16string_view::npos; close = line.find(u']', close + 1)) {
        std::u16string_view after = TrimStart(line.substr(close + 1));
        if (after.empty() || after.front() == u';') {
            *key = line.substr(1, close - 1);
            return true;
        }
    }
    return false;
}

bool ReadKeyLine(const LogicalLine& line, std::u16string_view text, RegEntry* entry, std::string* error)
{
    std::u16string_view key;
    if (!KeyOfLine(text, &key)) {
        *error = LineError(line.number, "a key line must end with ]");
        return false;
    }
    entry->kind = RegEntry::CreateKey;
    if (!key.empty() && key.front() == u'-') {
        entry->kind = RegEntry::DeleteKey;
        key.remove_prefix(1);
    }
    if (!ParseRegistryPath(key, &entry->path)) {
        *error = LineError(line.number, "unknown root key in [" + ToUtf8(key) + "]");
        return false;
    }
    if (entry->kind == RegEntry::DeleteKey && entry->path.subKey.empty()) {
        *error = LineError(line.number, "a root key cannot be deleted");
        return false;
    }
    return true;
}

}  // namespace

Opening RegTextOpening(std::u16string_view beginning, bool whole, std::string* problem)
{
    int number = 1;
    for (size_t start = 0;; ++number) {
        const size_t end = beginning.find(u'\n', start);
        if (end == std::u16string_view::npos && !whole)
            return Opening::unknown;
        const std::u16string_view content = TrimEnd(TrimStart(beginning.substr(start, end - start)));
        if (!content.empty() && content.front() != u';' && content.front() != u'#') {
            if (content == headerVersion5 || content == headerVersion4)
                return Opening::fits;
            *problem = NoHeader(number);
            return Opening::refused;
        }
        if (end == std::u16string_view::npos)
            return Opening::fits;  // blank: what is missing is ReadRegText's to say
        start = end + 1;
    }
}

bool ReadRegText(std::u16string_view text, std::vector<RegEntry>* entries, std::string* error)
{
    entries->clear();
    bool sawHeader = false;
    bool narrowStrings = false;
    bool inKey = false;
    bool inDeletedKey = false;
    for (const LogicalLine& line : LogicalLines(text)) {
        std::u16string_view content = TrimStart(line.text);
        if (content.empty() || content.front() == u';' || content.front() == u'#')
            continue;
        if (!sawHeader) {
            if (content != headerVersion5 && content != headerVersion4) {
                *error = NoHeader(line.number);
                return false;
            }
            sawHeader = true;
            narrowStrings = content == headerVersion4;
            continue;
        }
        RegEntry entry;
        entry.line = line.number;
        if (content.front() == u'[') {
            if (!ReadKeyLine(line, content, &entry, error))
                return false;
            inKey = entry.kind == RegEntry::CreateKey;
            inDeletedKey = !inKey;
            entries->push_back(std::move(entry));
            continue;
        }
        std::string problem;
        entry.kind = RegEntry::SetValue;
        if (!ParseValueLine(content, narrowStrings, &entry.value, &problem)) {
            *error = LineError(line.number, problem);
            return false;
        }
        if (inDeletedKey || !inKey) {
            *error = LineError(line.number, inDeletedKey ? "a value under a key that is being deleted"
                                                         : "a value before any [KEY] line");
            return false;
        }
        entries->push_back(std::move(entry));
    }
    if (!sawHeader) {
        *error = "not a registry file: it is empty";
        return false;
    }
    return true;
}

}  // namespace host
