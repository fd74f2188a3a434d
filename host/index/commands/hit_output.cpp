// The printing of a hit in each of search's styles, and the template's
// fields, read from one table of field names.
#include "index/commands/hit_output.h"

#include "index/query/fields.h"
#include "index/run/entry.h"
#include "system/platform_differences.h"
#include "text/text_conversion.h"
#include "text/text_escape.h"

#include <cstdio>
#include <vector>

namespace host::index {
namespace {

// Two private-use characters mark a match in a snippet; they become colour
// or brackets once the snippet is escaped, so that no mark is escaped and
// no control character of the file's reaches the terminal.
constexpr char openMark[] = "\xEE\x80\x80", closeMark[] = "\xEE\x80\x81";
constexpr char openColour[] = "\x1B[1;31m", closeColour[] = "\x1B[0m";

// The fields a template may name: those of the field table that a hit
// shows, and the hit's own.
struct FieldRow {
    std::u16string name;
    const Field* field;                           // of the field table, or null
    std::string (*value)(const SearchHit& hit);  // for the hit's own
};

std::string Rank(const SearchHit& hit)
{
    char rank[32];
    std::snprintf(rank, sizeof rank, "%.6g", hit.rank);
    return rank;
}

// A number of the file's, empty when it has none.
std::string Number(std::int64_t number)
{
    return number ? std::to_string(number) : std::string();
}

// The length as minutes and seconds ("4:05"), or hours too ("1:02:07").
std::string Length(const SearchHit& hit)
{
    if (hit.duration <= 0)
        return std::string();
    const long long seconds = (hit.duration + 5000000) / 10000000;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

// A field of the table as a hit shows it.
std::string FieldValue(const Field& field, const SearchHit& hit)
{
    return field.shownText ? hit.*field.shownText : Number(hit.*field.shownNumber);
}

std::string PathOf(const SearchHit& hit)
{
    return ToUtf8(PathFromListBytes(hit.path));
}

std::string NameOf(const SearchHit& hit)
{
    const std::string path = PathOf(hit);
    return path.substr(path.rfind('/') + 1);
}

std::string SnippetOf(const SearchHit& hit)
{
    return hit.snippet;
}

const std::vector<FieldRow>& TemplateFields()
{
    static const std::vector<FieldRow> rows = [] {
        std::vector<FieldRow> made = {{u"path", nullptr, PathOf}, {u"name", nullptr, NameOf}};
        for (size_t i = 0; i < fieldCount; ++i)
            if (fieldTable[i].shownText || fieldTable[i].shownNumber)
                made.push_back({FromUtf8(fieldTable[i].name), &fieldTable[i], nullptr});
        made.insert(made.end(),
                    {{u"length", nullptr, Length}, {u"snippet", nullptr, SnippetOf}, {u"rank", nullptr, Rank}});
        return made;
    }();
    return rows;
}

// "{path}, {name}, ... and {rank}", for an error.
const std::string& TemplateFieldNames()
{
    static const std::string names = [] {
        const std::vector<FieldRow>& rows = TemplateFields();
        std::string made;
        for (size_t i = 0; i < rows.size(); ++i)
            made += (i == 0 ? "{" : i + 1 == rows.size() ? " and {" : ", {") + ToUtf8(rows[i].name) + "}";
        return made;
    }();
    return names;
}

const FieldRow* FindTemplateField(std::u16string_view name)
{
    for (const FieldRow& row : TemplateFields())
        if (name == row.name)
            return &row;
    return nullptr;
}

std::string ValueOf(const FieldRow& row, const SearchHit& hit)
{
    return row.field ? FieldValue(*row.field, hit) : row.value(hit);
}

void Replace(std::string& text, std::string_view from, std::string_view to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

// `text` escaped for the terminal or for JSON, its marks made visible.
std::string Shown(std::u16string_view text, const HitStyle& style, Escaping escaping = Escaping::terminal)
{
    std::string out;
    AppendEscaped(out, text, escaping);
    Replace(out, openMark, style.colour ? openColour : "[");
    Replace(out, closeMark, style.colour ? closeColour : "]");
    return out;
}

// The snippet on one line: the body's lines joined by " / ".
std::u16string OneLine(std::string_view snippet)
{
    std::u16string line;
    for (char16_t unit : FromUtf8(snippet))
        line += unit == u'\n' ? std::u16string(u" / ") : std::u16string(1, unit);
    return line;
}

void AppendText(std::string& out, const SearchHit& hit, const HitStyle& style)
{
    AppendEscaped(out, PathFromListBytes(hit.path), Escaping::terminal);
    out += "\n  ";
    AppendEscaped(out, hit.title.empty() ? u"(no title)" : FromUtf8(hit.title), Escaping::terminal);
    if (!hit.author.empty()) {
        out += " \xE2\x80\x94 ";  // an em dash
        AppendEscaped(out, FromUtf8(hit.author), Escaping::terminal);
    }
    // What the file is: " · Album (2003) · disc 2, track 3 · 4:05".
    std::string media;
    if (!hit.album.empty())
        media = hit.album + (hit.year ? " (" + std::to_string(hit.year) + ")" : std::string());
    else if (hit.year)
        media = std::to_string(hit.year);
    if (hit.track)
        media += (media.empty() ? "" : " \xC2\xB7 ") +
                 (hit.disc > 1 ? "disc " + std::to_string(hit.disc) + ", " : std::string()) + "track " +
                 std::to_string(hit.track);
    if (const std::string length = Length(hit); !length.empty())
        media += (media.empty() ? "" : " \xC2\xB7 ") + length;
    if (!media.empty()) {
        out += " \xC2\xB7 ";  // a middle dot
        AppendEscaped(out, FromUtf8(media), Escaping::terminal);
    }
    out += '\n';
    if (!hit.snippet.empty())  // a query of place filters alone has none
        out += "  " + Shown(OneLine(hit.snippet), style) + "\n";
}

void AppendJson(std::string& out, const SearchHit& hit, const HitStyle& style)
{
    (void)style;
    std::string snippet = hit.snippet;
    Replace(snippet, openMark, "[");
    Replace(snippet, closeMark, "]");
    // Numbers the file does not have are null.
    auto number = [](std::int64_t value) { return value ? std::to_string(value) : std::string("null"); };
    char seconds[32] = "null";
    if (hit.duration > 0)
        std::snprintf(seconds, sizeof seconds, "%.3f", hit.duration / 1e7);
    out += "{\"path\": " + JsonString(PathFromListBytes(hit.path));
    // The fields a hit shows, each once (artist: is the author again).
    const std::string* lastText = nullptr;
    for (size_t i = 0; i < fieldCount; ++i) {
        const Field& field = fieldTable[i];
        if (field.shownText && &(hit.*field.shownText) != lastText) {
            lastText = &(hit.*field.shownText);
            out += ", \"" + std::string(field.name) + "\": " + JsonString(FromUtf8(*lastText));
        } else if (field.shownNumber) {
            out += ", \"" + std::string(field.name) + "\": " + number(hit.*field.shownNumber);
        }
    }
    out += ", \"duration\": " + std::string(seconds) + ", \"snippet\": " + JsonString(FromUtf8(snippet)) +
           ", \"rank\": " + Rank(hit) + "}\n";
}

// The template's own text goes out as the user wrote it (tabs and new
// lines included); the fields' values, which come from the files, are
// escaped as every value is.
void AppendFormat(std::string& out, const SearchHit& hit, const HitStyle& style)
{
    const std::u16string_view format = style.format;
    for (size_t at = 0; at < format.size();) {
        const size_t open = format.find(u'{', at), close = format.find(u'}', open);
        if (open == std::u16string::npos || close == std::u16string::npos) {
            out += ToUtf8(std::u16string(format.substr(at)));
            break;
        }
        out += ToUtf8(std::u16string(format.substr(at, open - at)));
        const FieldRow* field = FindTemplateField(format.substr(open + 1, close - open - 1));
        out += field ? Shown(FromUtf8(ValueOf(*field, hit)), style)
                     : ToUtf8(std::u16string(format.substr(open, close - open + 1)));
        at = close + 1;
    }
    out += "\n";
}

}  // namespace

SnippetMarks HitMarks()
{
    return {openMark, closeMark};
}

bool CheckFormat(const std::u16string& format, std::string& error)
{
    for (size_t open = format.find(u'{'); open != std::u16string::npos; open = format.find(u'{', open + 1)) {
        const size_t close = format.find(u'}', open);
        if (close == std::u16string::npos)
            break;
        if (!FindTemplateField(std::u16string_view(format).substr(open + 1, close - open - 1))) {
            error = "--format names no field " + ToUtf8(format.substr(open, close - open + 1)) + "; the fields are " +
                    TemplateFieldNames();
            return false;
        }
    }
    return true;
}

void AppendHit(std::string& out, const SearchHit& hit, const HitStyle& style)
{
    switch (style.kind) {
    case HitStyle::json:
        return AppendJson(out, hit, style);
    case HitStyle::nul:
        out.append(hit.path).push_back('\0');  // the name's own bytes, for xargs -0
        return;
    case HitStyle::paths:
        // As its bytes for the programs it is piped to (as grep -l does),
        // with control characters escaped on a terminal.
        if (style.terminal)
            AppendEscaped(out, PathFromListBytes(hit.path), Escaping::terminal);
        else
            out += hit.path;
        out += '\n';
        return;
    case HitStyle::formatted:
        return AppendFormat(out, hit, style);
    case HitStyle::text:
        return AppendText(out, hit, style);
    }
}

}  // namespace host::index
