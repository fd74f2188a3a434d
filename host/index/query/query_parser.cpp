// The query's parser: recursive descent over OR and AND down to the terms,
// with a depth count that refuses what nests too deep. It makes the tree
// alone: each back end renders it (sqlite/fts5_query.h,
// postgres/tsquery_text.h). The tree comes out flat where the meaning
// allows (an all-of inside an all-of is one all-of), so that its depth is
// the depth the user typed, not the number of terms.
#include "index/query/query_parser.h"

#include "index/run/entry.h"
#include "index/run/paths.h"
#include "index/properties/field_words.h"
#include "text/text_conversion.h"

#include <cstring>
#include <utility>

namespace host::index {
namespace {

using Kind = QueryNode::Kind;

// A piece that matches nothing of its own: a place filter, or a term with
// no word in it ("!!!").
bool Empty(const QueryNode& node)
{
    return node.kind == Kind::all && node.children.empty() && node.excluded.empty();
}

// `child` as one more condition of the all-of `all`, its own conditions
// taken in where it is an all-of too.
void Include(QueryNode& all, QueryNode&& child)
{
    if (Empty(child))
        return;
    if (child.kind != Kind::all) {
        all.children.push_back(std::move(child));
        return;
    }
    for (QueryNode& each : child.children)
        all.children.push_back(std::move(each));
    for (QueryNode& each : child.excluded)
        all.excluded.push_back(std::move(each));
}

// An all-of or any-of of one child, with nothing excluded, is that child.
QueryNode Collapsed(QueryNode node)
{
    if (node.kind != Kind::term && node.kind != Kind::range && node.children.size() == 1 && node.excluded.empty())
        return std::move(node.children.front());
    return node;
}

bool IsSpace(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// The query comes as the file system's bytes; words are text, in which a
// control character (a NUL among them, which ends an FTS5 string) is a
// space, as between any two words.
std::string AsText(std::string_view bytes)
{
    std::string text = ToUtf8(FromCodePage(CP_ACP, std::string(bytes)));
    for (char& c : text)
        c = IsSpace(c) ? ' ' : c;
    return text;
}

class Parser {
public:
    Parser(std::string_view text, Query& query) : text(text), query(query) {}

    bool Parse(QueryError& error)
    {
        QueryNode whole;
        if (Or(whole, nullptr, true)) {
            SkipSpace();
            if (at < text.size())
                Error("unexpected ')'");
            else if (Empty(whole) && query.places.empty())
                Error("there is nothing to search for");
        }
        if (!problem.empty()) {
            error = {at, problem};
            return false;
        }
        query.words = Empty(whole) ? QueryNode() : std::move(whole);
        return true;
    }

private:
    // Where the terms below are looked for: a field of the table, and for
    // tag: the tag's name.
    struct Target {
        const Field* field;
        std::string tag;
        bool Same(const Target& other) const { return field == other.field && tag == other.tag; }
    };

    void SkipSpace()
    {
        while (at < text.size() && IsSpace(text[at]))
            ++at;
    }
    static bool Delimits(char c) { return IsSpace(c) || std::strchr("\"():*", c) != nullptr; }
    // The bare word at the cursor, not taken.
    std::string_view PeekWord() const
    {
        size_t end = at;
        while (end < text.size() && !Delimits(text[end]))
            ++end;
        return text.substr(at, end - at);
    }
    bool IsOperator(std::string_view name) const { return PeekWord() == name; }
    // "or" between two terms, as people type OR; elsewhere a word (a title's
    // "or" is still found, in a phrase: "now or never").
    bool IsLowerOr() const
    {
        if (PeekWord() != "or")
            return false;
        size_t next = at + 2;
        while (next < text.size() && IsSpace(text[next]))
            ++next;
        return next < text.size() && text[next] != ')';
    }
    bool Error(std::string words)
    {
        if (problem.empty())
            problem = std::move(words);
        return false;
    }
    bool Need(const QueryNode& node, const char* what)
    {
        return !Empty(node) || Error(std::string(what) + " needs a term on each side");
    }
    // One level deeper: a bracket or a field.
    bool Deeper()
    {
        return ++depth <= kDeepestQuery ||
               Error("brackets and fields nest more than " + std::to_string(kDeepestQuery) + " deep");
    }

    // or := and (OR and)*; place filters count only at the top, beside the words.
    bool Or(QueryNode& out, const Target* field, bool top)
    {
        QueryNode any;
        any.kind = Kind::any;
        QueryNode first;
        if (!And(first, field, top))
            return false;
        for (;;) {
            SkipSpace();
            if (!IsOperator("OR") && !IsLowerOr())
                break;
            at += 2;
            QueryNode right;
            if (!And(right, field, false) || !Need(right, "OR") || !Need(first, "OR"))
                return false;
            if (any.children.empty())
                Alternative(any, std::move(first));
            Alternative(any, std::move(right));
        }
        out = any.children.empty() ? std::move(first) : std::move(any);
        return true;
    }
    static void Alternative(QueryNode& any, QueryNode&& child)
    {
        if (child.kind != Kind::any) {
            any.children.push_back(std::move(child));
            return;
        }
        for (QueryNode& each : child.children)
            any.children.push_back(std::move(each));
    }

    // and := ([AND] [NOT | -] primary)*: NOT and '-' exclude what follows
    // from the terms before it ("a AND NOT b" as well).
    bool And(QueryNode& out, const Target* field, bool top)
    {
        QueryNode all;
        bool first = true;
        for (;;) {
            SkipSpace();
            if (at >= text.size() || text[at] == ')' || IsOperator("OR") || (!first && IsLowerOr()))
                break;
            const bool explicitAnd = IsOperator("AND");
            if (explicitAnd) {
                at += 3;
                if (first || all.children.empty())
                    return Error("AND needs a term before it");
                SkipSpace();
            }
            const char* const negation = IsOperator("NOT") ? "NOT"
                                         : at + 1 < text.size() && text[at] == '-' && !IsSpace(text[at + 1]) ? "'-'"
                                                                                                             : nullptr;
            if (negation) {
                if (all.children.empty())
                    return Error(std::string(negation) + " needs a term before it");
                at += negation[0] == 'N' ? 3 : 1;
                QueryNode excluded;
                if (!Primary(excluded, field, false) || !Need(excluded, negation))
                    return false;
                all.excluded.push_back(std::move(excluded));
                continue;
            }
            const size_t places = query.places.size();
            QueryNode next;
            if (!Primary(next, field, top))
                return false;
            if (explicitAnd && Empty(next) && query.places.size() == places)
                return Error("AND needs a term after it");
            Include(all, std::move(next));
            first = false;
        }
        out = Collapsed(std::move(all));
        return true;
    }

    bool Primary(QueryNode& out, const Target* field, bool top)
    {
        SkipSpace();
        if (at >= text.size())
            return Error("the query ends where a term should be");
        if (text[at] == '(') {
            if (!Deeper())
                return false;
            ++at;
            QueryNode inner;
            if (!Or(inner, field, false))
                return false;
            SkipSpace();
            if (at >= text.size() || text[at] != ')')
                return Error("a '(' is not closed");
            ++at;
            --depth;
            if (Empty(inner))
                return Error("empty brackets");
            out = std::move(inner);
            return true;
        }
        if (text[at] == '"')
            return Phrase(out, field);
        const size_t start = at;
        const std::string_view word = PeekWord();
        if (word.empty())
            return Error(std::string("unexpected '") + text[at] + "'");
        at += word.size();
        if (at < text.size() && text[at] == ':') {
            ++at;
            return Named(word, start, out, field, top);
        }
        const bool prefix = at < text.size() && text[at] == '*';
        at += prefix;
        out = Term(AsText(word), false, prefix, field);
        return true;
    }

    // What follows a field's name and its colon.
    bool Named(std::string_view name, size_t start, QueryNode& out, const Target* field, bool top)
    {
        const Field* named = FindField(name);
        if (!named) {
            at = start;
            return Error(std::string(name) + ": is no field; the fields are " + FieldNameList());
        }
        switch (named->kind) {
        case FieldKind::place:
            if (!top || field)
                return Error(std::string(named->name) +
                             ": filters the whole query: put it beside the words, not under OR, NOT or a field");
            return Place(named->place, out);
        case FieldKind::tag: {
            const std::string_view tag = PeekWord();
            if (tag.empty() || at + tag.size() >= text.size() || text[at + tag.size()] != ':')
                return Error("tag: needs a name and a word: tag:NAME:word");
            at += tag.size() + 1;
            return Within({named, AsText(tag)}, out, field);
        }
        case FieldKind::number:
            return Numbers(*named, out, field);
        case FieldKind::text:
        case FieldKind::words:
            break;
        }
        return Within({named, std::string()}, out, field);
    }

    // The term after a field's name, looked for in that field alone.
    bool Within(Target target, QueryNode& out, const Target* field)
    {
        if (field && !field->Same(target))
            return Error("a field inside another field");
        if (!Deeper() || !Primary(out, &target, false))
            return false;
        --depth;
        return true;
    }

    // year:2003, year:1995..1999: any of the numbers in the field.
    bool Numbers(const Field& named, QueryNode& out, const Target* field)
    {
        if (field && field->field != &named)
            return Error("a field inside another field");
        const size_t start = at;
        std::string_view value = text.substr(at);
        value = value.substr(0, std::min(value.size(), value.find_first_of(" \t\r\n()")));
        long first = 0, last = 0;
        const size_t dots = value.find("..");
        if (!ReadNumber(value.substr(0, dots), first) ||
            !ReadNumber(dots == std::string_view::npos ? value : value.substr(dots + 2), last) || last < first)
            return Error(std::string(named.name) + ": takes a number or a range of them, as " + named.name +
                         (named.name == std::string_view("year") ? ":2003 or year:1995..1999" : ":3 or track:1..4"));
        if (last - first >= kMostNumbersInRange)
            return Error(std::string(named.name) + ": a range of at most " + std::to_string(kMostNumbersInRange) +
                         " numbers");
        at = start + value.size();
        out = QueryNode();
        out.kind = Kind::range;
        out.field = &named;
        out.first = first, out.last = last;
        return true;
    }
    static bool ReadNumber(std::string_view digits, long& number)
    {
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        number = std::stol(std::string(digits));
        return true;
    }

    // A place filter's value: a quoted string, or up to the next space.
    bool Place(PlaceKind kind, QueryNode& out)
    {
        std::string_view value;
        if (at < text.size() && text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos)
                return Error("a '\"' is not closed");
            value = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const size_t start = at;
            while (at < text.size() && !IsSpace(text[at]))
                ++at;
            value = text.substr(start, at - start);
        }
        if (value.empty())
            return Error("a place filter needs a value");
        query.places.push_back({kind, Resolved(kind, value)});
        out = QueryNode();
        return true;
    }
    // A place as the index holds it: an absolute path without a trailing
    // slash (~ for the home folder), or an extension without its dot.
    static std::string Resolved(PlaceKind kind, std::string_view value)
    {
        if (kind == PlaceKind::ext)
            return std::string(value.substr(!value.empty() && value[0] == '.'));
        std::string path = PathBytes(IndexedPath(HomeExpanded(FromCodePage(CP_ACP, std::string(value)))));
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path;
    }

    bool Phrase(QueryNode& out, const Target* field)
    {
        const size_t close = text.find('"', at + 1);
        if (close == std::string_view::npos)
            return Error("a '\"' is not closed");
        const std::string_view words = text.substr(at + 1, close - at - 1);
        at = close + 1;
        const bool prefix = at < text.size() && text[at] == '*';
        at += prefix;
        bool blank = true;
        for (char c : words)
            blank = blank && IsSpace(c);
        if (blank)
            return Error("an empty phrase");
        out = Term(AsText(words), true, prefix, field);
        return true;
    }

    // A term of `words`; empty when they hold no word the index keeps, as
    // punctuation alone: such a term asks for nothing.
    static QueryNode Term(std::string words, bool phrase, bool prefix, const Target* field)
    {
        QueryNode term;
        if (SplitWords(words).empty())
            return term;
        term.kind = Kind::term;
        term.text = std::move(words);
        term.phrase = phrase, term.prefix = prefix;
        if (field)
            term.field = field->field, term.tag = field->tag;
        return term;
    }

    std::string_view text;
    Query& query;
    size_t at = 0;
    int depth = 0;
    std::string problem;
};

}  // namespace

std::string QueryError::Message() const
{
    return problem + " (at character " + std::to_string(at + 1) + ")";
}

std::string QueryBytes(std::u16string_view query)
{
    return ToCodePage(CP_ACP, query);
}

bool ParseQuery(std::string_view text, Query& query, QueryError& error)
{
    query = Query();
    return Parser(text, query).Parse(error);
}

}  // namespace host::index
