#include "index/query/query.h"

#include "index/entry.h"
#include "index/paths.h"
#include "text/text_conversion.h"

#include <cstring>

namespace host::index {
namespace {

// The text fields, with their tsvector weights (title above author and
// comments, above the body).
struct FieldRow {
    const char* name;
    char weight;
};
const FieldRow fieldTable[] = {{"title", 'A'}, {"author", 'B'}, {"comments", 'C'}, {"body", 'D'}};

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

    // or := and (OR and)*; place filters count only at the top, beside the words.
    bool Or(Piece& out, const FieldRow* field, bool top)
    {
        if (!And(out, field, top))
            return false;
        for (;;) {
            SkipSpace();
            if (!IsOperator("OR"))
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
    bool And(Piece& out, const FieldRow* field, bool top)
    {
        bool first = true;
        for (;;) {
            SkipSpace();
            if (at >= text.size() || text[at] == ')' || IsOperator("OR"))
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
    bool Not(Piece& out, const FieldRow* field, bool top, bool& wasPlace)
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

    bool Primary(Piece& out, const FieldRow* field, bool top, bool& wasPlace)
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

    bool Field(const std::string& name, size_t start, Piece& out, const FieldRow* field, bool top, bool& wasPlace)
    {
        std::string lower;
        for (char c : name)
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        for (const FieldRow& row : fieldTable)
            if (lower == row.name) {
                if (field && field != &row)
                    return Error("a field inside another field");
                if (!Primary(out, &row, false, wasPlace))
                    return false;
                return true;
            }
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
        return Error(name + ": is no field; the fields are title, author, comments, body, path, dir and ext");
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
        value = PathBytes(IndexedPath(FromCodePage(CP_ACP, value)));
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value;
    }

    bool Phrase(Piece& out, const FieldRow* field)
    {
        const size_t close = text.find('"', at + 1);
        if (close == std::string::npos)
            return Error("a '\"' is not closed");
        const std::string words = AsText(text.substr(at + 1, close - at - 1));
        at = close + 1;
        const bool prefix = at < text.size() && text[at] == '*';
        at += prefix;
        // PostgreSQL: the words in a row; FTS5: one string.
        std::vector<std::string> parts;
        for (size_t i = 0; i < words.size();) {
            while (i < words.size() && words[i] == ' ')
                ++i;
            size_t end = words.find(' ', i);
            if (end == std::string::npos)
                end = words.size();
            if (end > i)
                parts.push_back(words.substr(i, end - i));
            i = end;
        }
        if (parts.empty())
            return Error("an empty phrase");
        out = Term(words, prefix, field);
        std::string ts;
        for (size_t i = 0; i < parts.size(); ++i)
            ts += (i ? " <-> " : "") + Lexeme(parts[i], prefix && i + 1 == parts.size(), field);
        out.tsquery = parts.size() > 1 ? "(" + ts + ")" : ts;
        return true;
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
    static std::string Lexeme(const std::string& word, bool prefix, const FieldRow* field)
    {
        std::string lexeme = Quoted(word, '\'');
        if (prefix || field)
            lexeme += ":" + std::string(prefix ? "*" : "") + (field ? std::string(1, field->weight) : "");
        return lexeme;
    }
    // The query comes as the file system's bytes, so that a place filter
    // matches a name that is not UTF-8; words are text, and what does not
    // decode in them becomes U+FFFD.
    static std::string AsText(const std::string& bytes) { return ToUtf8(FromCodePage(CP_ACP, bytes)); }

    static Piece Term(const std::string& bytes, bool prefix, const FieldRow* field)
    {
        const std::string word = AsText(bytes);
        std::string fts = Quoted(word, '"') + (prefix ? " *" : "");
        if (field)
            fts = std::string(field->name) + " : " + fts;
        return {fts, Lexeme(word, prefix, field)};
    }

    const std::string& text;
    ParsedQuery& parsed;
    size_t at = 0;
    std::string problem;
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
    case SearchOrder::path:
        return "path";
    case SearchOrder::modified:
        return "modified DESC, path";
    case SearchOrder::rank:
        break;
    }
    return "exact DESC, rank, path";
}

bool ParseQuery(const std::string& query, ParsedQuery& parsed, std::string& error)
{
    parsed = ParsedQuery();
    return Parser(query, parsed).Parse(error);
}

}  // namespace host::index
