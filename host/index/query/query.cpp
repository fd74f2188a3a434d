// The query's parser (recursive descent over OR, AND, NOT and the terms),
// its renderings for FTS5 and tsquery, and the SQL pieces both back ends
// share: the place conditions, the sort orders, the list statements.
#include "index/query/query.h"

#include "index/entry.h"
#include "index/paths.h"
#include "index/properties/field_words.h"
#include "text/cjk_pairs.h"
#include "text/text_conversion.h"

#include <cstring>
#include <deque>

namespace host::index {
namespace {

// The fields a word may be looked for in, by FTS5 column; on PostgreSQL
// the four texts by tsvector weight (title above author and comments,
// above the body), the properties by their marker (see
// properties/field_words.h).
struct FieldRow {
    const char* name;
    const char* column;
    char weight;          // the texts' weight; 0 for a property
    const char* marker;   // a property's field; null for the texts
    bool number = false;  // a number, or a range of them: year:1995..1999
};
const FieldRow fieldTable[] = {
    {"title", "title", 'A', nullptr},
    {"author", "author", 'B', nullptr},
    {"artist", "author", 'B', nullptr},
    {"comments", "comments", 'C', nullptr},
    {"body", "body", 'D', nullptr},
    {"album", "album", 0, "album"},
    {"albumartist", "albumartist", 0, "albumartist"},
    {"genre", "genre", 0, "genre"},
    {"composer", "composer", 0, "composer"},
    {"name", "name", 0, "name"},
    {"year", "year", 0, "year", true},
    {"track", "track", 0, "track", true},
};
constexpr const char* fieldNames = "title, author (artist), comments, body, album, albumartist, genre, composer, "
                                   "name, year, track, tag:NAME, path, dir and ext";
// The widest range a number field takes: each number in it is a term.
constexpr long kMostNumbersInRange = 1000;

// Where a word is looked for: a field of the table, or a tag of the user's
// (`tag:mood:`), whose marker is made from its name and marks its words in
// FTS5's `tags` column too.
struct FieldTarget {
    const char* column;
    char weight;
    std::string marker;  // empty for the texts
    bool markedInColumn = false;
    bool Same(const FieldTarget& other) const { return column == other.column && marker == other.marker; }
};
FieldTarget TargetOf(const FieldRow& row)
{
    return {row.column, row.weight, row.marker ? FieldMarker(row.marker) : std::string()};
}

struct PlaceRow {
    const char* name;
    PlaceKind kind;
};
const PlaceRow placeTable[] = {{"path", PlaceKind::path}, {"dir", PlaceKind::dir}, {"ext", PlaceKind::ext}};

// Both renderings of a piece of the query.
struct Piece {
    std::string fts5, tsquery;
    bool empty() const { return fts5.empty(); }
};

class Parser {
public:
    Parser(const std::string& text, ParsedQuery& parsed) : text(text), parsed(parsed) {}

    bool Parse(std::string& error)
    {
        Piece whole;
        if (!Or(whole, nullptr, true))
            return Fail(error);
        SkipSpace();
        if (at < text.size() && !problem.size())
            problem = "unexpected ')'";
        if (!problem.empty())
            return Fail(error);
        parsed.fts5 = whole.fts5;
        parsed.tsquery = whole.tsquery;
        if (whole.empty() && parsed.places.empty()) {
            problem = "there is nothing to search for";
            return Fail(error);
        }
        return true;
    }

private:
    bool Fail(std::string& error)
    {
        error = problem + " (at character " + std::to_string(at + 1) + ")";
        return false;
    }
    void SkipSpace()
    {
        while (at < text.size() && std::strchr(" \t\r\n", text[at]))
            ++at;
    }
    static bool Delimits(char c) { return std::strchr(" \t\r\n\"():*", c) != nullptr; }
    // The bare word at the cursor, not taken.
    std::string PeekWord() const
    {
        size_t end = at;
        while (end < text.size() && !Delimits(text[end]))
            ++end;
        return text.substr(at, end - at);
    }
    bool IsOperator(const char* name) const { return PeekWord() == name; }
    // "or" between two terms, as people type OR; elsewhere a word (a title's
    // "or" is still found, in a phrase: "now or never").
    bool IsLowerOr() const
    {
        if (PeekWord() != "or")
            return false;
        size_t next = at + 2;
        while (next < text.size() && std::strchr(" \t\r\n", text[next]))
            ++next;
        return next < text.size() && text[next] != ')';
    }

    // or := and (OR and)*; place filters count only at the top, beside the words.
    bool Or(Piece& out, const FieldTarget* field, bool top)
    {
        if (!And(out, field, top))
            return false;
        for (;;) {
            SkipSpace();
            if (!IsOperator("OR") && !IsLowerOr())
                return true;
            at += 2;
            Piece right;
            if (!And(right, field, false) || !Need(right, "OR"))
                return false;
            if (!Need(out, "OR"))
                return false;
            out = {out.fts5 + " OR " + right.fts5, out.tsquery + " | " + right.tsquery};
        }
    }
    bool And(Piece& out, const FieldTarget* field, bool top)
    {
        bool first = true;
        for (;;) {
            SkipSpace();
            if (at >= text.size() || text[at] == ')' || IsOperator("OR") || (!first && IsLowerOr()))
                return true;
            const bool explicitAnd = IsOperator("AND");
            if (explicitAnd) {
                at += 3;
                if (first || out.empty())
                    return Error("AND needs a term before it");
            }
            Piece next;
            bool wasPlace = false;
            // "-word": without it, as "NOT word" after the terms before it.
            if (text[at] == '-' && at + 1 < text.size() && !std::strchr(" \t\r\n", text[at + 1])) {
                ++at;
                if (explicitAnd || out.empty())
                    return Error("'-' needs a term before it");
                if (!Primary(next, field, false, wasPlace) || !Need(next, "'-'"))
                    return false;
                out = {"(" + out.fts5 + ") NOT " + next.fts5, "(" + out.tsquery + " & !" + next.tsquery + ")"};
                continue;
            }
            if (!Not(next, field, top, wasPlace))
                return false;
            if (explicitAnd && next.empty() && !wasPlace)
                return Error("AND needs a term after it");
            if (!next.empty())
                out = out.empty() ? next : Piece{out.fts5 + " AND " + next.fts5, out.tsquery + " & " + next.tsquery};
            first = false;
        }
    }
    bool Not(Piece& out, const FieldTarget* field, bool top, bool& wasPlace)
    {
        if (IsOperator("NOT"))
            return Error("NOT needs a term before it");
        if (!Primary(out, field, top, wasPlace))
            return false;
        for (;;) {
            SkipSpace();
            if (!IsOperator("NOT"))
                return true;
            at += 3;
            Piece right;
            bool rightPlace = false;
            if (!Primary(right, field, false, rightPlace) || !Need(right, "NOT") || !Need(out, "NOT"))
                return false;
            out = {out.fts5 + " NOT " + right.fts5, "(" + out.tsquery + " & !" + right.tsquery + ")"};
        }
    }
    bool Need(const Piece& piece, const char* what)
    {
        return !piece.empty() || Error(std::string(what) + " needs a term on each side");
    }
    bool Error(std::string words)
    {
        if (problem.empty())
            problem = std::move(words);
        return false;
    }

    bool Primary(Piece& out, const FieldTarget* field, bool top, bool& wasPlace)
    {
        SkipSpace();
        if (at >= text.size())
            return Error("the query ends where a term should be");
        if (text[at] == '(') {
            ++at;
            Piece inner;
            if (!Or(inner, field, false))
                return false;
            SkipSpace();
            if (at >= text.size() || text[at] != ')')
                return Error("a '(' is not closed");
            ++at;
            if (inner.empty())
                return Error("empty brackets");
            out = {"(" + inner.fts5 + ")", "(" + inner.tsquery + ")"};
            return true;
        }
        if (text[at] == '"')
            return Phrase(out, field);
        const size_t start = at;
        std::string word = PeekWord();
        if (word.empty())
            return Error(std::string("unexpected '") + text[at] + "'");
        at += word.size();
        if (at < text.size() && text[at] == ':') {
            ++at;
            return Field(word, start, out, field, top, wasPlace);
        }
        const bool prefix = at < text.size() && text[at] == '*';
        at += prefix;
        out = Term(word, prefix, field);
        return true;
    }

    bool Field(const std::string& name, size_t start, Piece& out, const FieldTarget* field, bool top, bool& wasPlace)
    {
        std::string lower;
        for (char c : name)
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (lower == "tag") {
            const std::string tag = PeekWord();
            if (tag.empty() || at + tag.size() >= text.size() || text[at + tag.size()] != ':')
                return Error("tag: needs a name and a word: tag:NAME:word");
            at += tag.size() + 1;
            return Within({"tags", 0, TagMarker(AsText(tag)), true}, out, field, wasPlace);
        }
        for (const FieldRow& row : fieldTable)
            if (lower == row.name)
                return row.number ? Numbers(row, out, field) : Within(TargetOf(row), out, field, wasPlace);
        for (const PlaceRow& row : placeTable)
            if (lower == row.name) {
                if (!top || field)
                    return Error(lower + ": filters the whole query: put it beside the words, not under OR, NOT or "
                                         "a field");
                std::string value;
                if (!PlaceValue(value))
                    return false;
                parsed.places.push_back({row.kind, Place(row.kind, value)});
                wasPlace = true;
                out = {};
                return true;
            }
        at = start;
        return Error(name + ": is no field; the fields are " + fieldNames);
    }

    // The term after a field's name, looked for in that field alone.
    bool Within(const FieldTarget& target, Piece& out, const FieldTarget* field, bool& wasPlace)
    {
        if (field && !field->Same(target))
            return Error("a field inside another field");
        const FieldTarget* held = field ? field : &targets.emplace_back(target);
        return Primary(out, held, false, wasPlace);
    }

    // year:2003, year:1995..1999: each number a term of the field, any of
    // them.
    bool Numbers(const FieldRow& row, Piece& out, const FieldTarget* field)
    {
        const FieldTarget target = TargetOf(row);
        if (field && !field->Same(target))
            return Error("a field inside another field");
        const size_t start = at;
        std::string value;
        while (at < text.size() && !std::strchr(" \t\r\n()", text[at]))
            value += text[at++];
        long first = 0, last = 0;
        const size_t dots = value.find("..");
        if (!ReadNumber(value.substr(0, dots), first) ||
            !ReadNumber(dots == std::string::npos ? value : value.substr(dots + 2), last) || last < first) {
            at = start;
            return Error(std::string(row.name) + ": takes a number or a range of them, as " + row.name +
                         (row.name == std::string("year") ? ":2003 or year:1995..1999" : ":3 or track:1..4"));
        }
        if (last - first >= kMostNumbersInRange) {
            at = start;
            return Error(std::string(row.name) + ": a range of at most " + std::to_string(kMostNumbersInRange) +
                         " numbers");
        }
        out = {};
        for (long number = first; number <= last; ++number) {
            const Piece one = Term(std::to_string(number), false, &target);
            out = out.empty() ? one : Piece{out.fts5 + " OR " + one.fts5, out.tsquery + " | " + one.tsquery};
        }
        if (first != last)
            out = {"(" + out.fts5 + ")", "(" + out.tsquery + ")"};
        return true;
    }
    static bool ReadNumber(const std::string& digits, long& number)
    {
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        number = std::stol(digits);
        return true;
    }

    // A place filter's value: a quoted string, or up to the next space.
    bool PlaceValue(std::string& value)
    {
        if (at < text.size() && text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            if (close == std::string::npos)
                return Error("a '\"' is not closed");
            value = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const size_t start = at;
            while (at < text.size() && !std::strchr(" \t\r\n", text[at]))
                ++at;
            value = text.substr(start, at - start);
        }
        return !value.empty() || Error("a place filter needs a value");
    }
    static std::string Place(PlaceKind kind, std::string value)
    {
        if (kind == PlaceKind::ext) {
            if (!value.empty() && value[0] == '.')
                value.erase(0, 1);
            return value;
        }
        value = PathBytes(IndexedPath(HomeExpanded(FromCodePage(CP_ACP, value))));
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value;
    }

    bool Phrase(Piece& out, const FieldTarget* field)
    {
        const size_t close = text.find('"', at + 1);
        if (close == std::string::npos)
            return Error("a '\"' is not closed");
        const std::string words = AsText(text.substr(at + 1, close - at - 1));
        at = close + 1;
        const bool prefix = at < text.size() && text[at] == '*';
        at += prefix;
        if (words.find_first_not_of(' ') == std::string::npos)
            return Error("an empty phrase");
        out = Term(words, prefix, field);
        return !out.empty() || Error("a phrase with no word in it");
    }

    static std::string Quoted(const std::string& text, char quote)
    {
        std::string out(1, quote);
        for (char c : text) {
            if (c == quote || (quote == '\'' && c == '\\'))
                out += c;
            out += c;
        }
        return out + quote;
    }
    static std::string Lexeme(const std::string& word, bool prefix, char weight)
    {
        std::string lexeme = Quoted(word, '\'');
        if (prefix || weight)
            lexeme += ":" + std::string(prefix ? "*" : "") + (weight ? std::string(1, weight) : "");
        return lexeme;
    }
    // PostgreSQL's words in a row: the parts of a phrase between spaces,
    // scripts without spaces split into their pairs, as they were stored.
    static std::string LexemesInRow(const std::vector<std::string>& parts, bool prefix, char weight)
    {
        std::string ts;
        for (size_t i = 0; i < parts.size(); ++i)
            ts += (i ? " <-> " : "") + Lexeme(parts[i], prefix && i + 1 == parts.size(), weight);
        return parts.size() > 1 ? "(" + ts + ")" : ts;
    }
    static std::vector<std::string> SpacedParts(const std::string& words)
    {
        std::vector<std::string> parts;
        for (size_t i = 0; i < words.size();) {
            while (i < words.size() && words[i] == ' ')
                ++i;
            size_t end = words.find(' ', i);
            if (end == std::string::npos)
                end = words.size();
            if (end > i) {
                const std::string part = words.substr(i, end - i);
                if (HasCjk(part)) {
                    for (std::string& pair : SplitWords(part))
                        parts.push_back(std::move(pair));
                } else {
                    parts.push_back(part);
                }
            }
            i = end;
        }
        return parts;
    }
    // The query comes as the file system's bytes, so that a place filter
    // matches a name that is not UTF-8; words are text, and what does not
    // decode in them becomes U+FFFD.
    static std::string AsText(const std::string& bytes) { return ToUtf8(FromCodePage(CP_ACP, bytes)); }

    // A word or phrase in both renderings. In a property's field each word
    // follows the field's marker, as it was stored.
    static Piece Term(const std::string& bytes, bool prefix, const FieldTarget* field)
    {
        const std::string words = AsText(bytes);
        if (field && !field->marker.empty()) {
            std::vector<std::string> marked;
            std::string plain;
            for (std::string& word : SplitWords(words)) {
                plain += (plain.empty() ? "" : " ") + word;
                marked.push_back(field->marker);
                marked.push_back(std::move(word));
            }
            if (marked.empty())
                return {};
            std::string joined;
            for (const std::string& word : marked)
                joined += (joined.empty() ? "" : " ") + word;
            return {std::string(field->column) + " : " + Quoted(field->markedInColumn ? joined : plain, '"') +
                        (prefix ? " *" : ""),
                    LexemesInRow(marked, prefix, 0)};
        }
        std::string fts = Quoted(words, '"') + (prefix ? " *" : "");
        if (field)
            fts = std::string(field->column) + " : " + fts;
        const std::vector<std::string> parts = SpacedParts(words);
        if (parts.empty())
            return {};
        return {fts, LexemesInRow(parts, prefix, field ? field->weight : 0)};
    }

    const std::string& text;
    ParsedQuery& parsed;
    size_t at = 0;
    std::string problem;
    std::deque<FieldTarget> targets;  // the fields the terms are under, kept in place
};

}  // namespace

std::string PlaceConditions(const std::vector<PlaceFilter>& places, int first, const PlaceSql& sql)
{
    std::string where;
    for (PlaceKind kind : {PlaceKind::path, PlaceKind::dir, PlaceKind::ext}) {
        std::string any;
        for (size_t i = 0; i < places.size(); ++i) {
            if (places[i].kind != kind)
                continue;
            const std::string parameter = sql.parameter + std::to_string(first + int(i));
            std::string test = kind == PlaceKind::path ? sql.path : kind == PlaceKind::dir ? sql.dir : sql.ext;
            for (size_t at; (at = test.find('@')) != std::string::npos;)
                test.replace(at, 1, parameter);
            any += (any.empty() ? "" : " OR ") + test;
        }
        if (!any.empty())
            where += " AND (" + any + ")";
    }
    return where;
}

const char* OrderBy(SearchOrder order)
{
    switch (order) {
    case SearchOrder::title:
        return "lower(title), path";
    case SearchOrder::artist:
        return "lower(author), lower(title), path";
    case SearchOrder::album:
        return "lower(CASE WHEN albumartist <> '' THEN albumartist ELSE author END), lower(album), disc, track, path";
    case SearchOrder::year:
        return "year = 0, year, lower(album), disc, track, path";
    case SearchOrder::path:
        return "path";
    case SearchOrder::modified:
        return "modified DESC, path";
    case SearchOrder::rank:
        break;
    }
    return "exact DESC, rank, path";
}

bool OrdersByNames(SearchOrder order)
{
    return order == SearchOrder::title || order == SearchOrder::artist || order == SearchOrder::album;
}

std::string ListSql(ListKind kind, const std::string& ids, const char* textsKey, const char* schema)
{
    // What each kind lists, grouped by, and shown beside it.
    struct ListRow {
        ListKind kind;
        const char* value;
        const char* group;
        const char* artist;
        const char* year;
        const char* order;
    };
    static const ListRow listTable[] = {
        {ListKind::artists, "texts.author", "texts.author", "''", "0", "lower(value), value"},
        {ListKind::albums, "files.album",
         "files.album, CASE WHEN files.albumartist <> '' THEN files.albumartist ELSE '' END",
         "CASE WHEN max(files.albumartist) <> '' THEN max(files.albumartist) "
         "WHEN min(texts.author) = max(texts.author) THEN min(texts.author) ELSE '' END",
         "CASE WHEN min(files.year) = max(files.year) THEN min(files.year) ELSE 0 END",
         "lower(value), value, lower(artist)"},
        {ListKind::genres, "files.genre", "files.genre", "''", "0", "lower(value), value"},
        {ListKind::years, "CAST(files.year AS text)", "files.year", "''", "files.year", "year"},
        {ListKind::composers, "files.composer", "files.composer", "''", "0", "lower(value), value"},
    };
    const ListRow* row = &listTable[0];
    for (const ListRow& each : listTable)
        if (each.kind == kind)
            row = &each;
    const std::string empty = kind == ListKind::years ? "files.year > 0" : std::string(row->value) + " <> ''";
    return std::string("SELECT * FROM (SELECT ") + row->value + " AS value, count(*) AS files, " + row->artist +
           " AS artist, " + row->year + " AS year FROM " + schema + "files AS files JOIN " + schema +
           "texts AS texts ON " + textsKey + " = files.id WHERE " +
           empty + (ids.empty() ? std::string() : " AND files.id IN (" + ids + ")") + " GROUP BY " + row->group +
           ") AS listed ORDER BY " + row->order;
}

bool ParseQuery(const std::string& query, ParsedQuery& parsed, std::string& error)
{
    parsed = ParsedQuery();
    return Parser(query, parsed).Parse(error);
}

}  // namespace host::index
