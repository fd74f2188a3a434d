// The FTS5 rendering of a query tree. Each term is a quoted string, which
// FTS5 hands to the table's tokenizer, so that a term splits into words as
// the texts did; a term in a field is prefixed with its column. The
// expression nests no deeper than the tree (FTS5's parser has a fixed
// stack).
#include "index/sqlite/fts5_query.h"

#include "index/properties/field_words.h"

namespace host::index {
namespace {

void Term(const QueryNode& term, std::string& out)
{
    const std::string star = term.prefix ? " *" : "";
    if (!term.field) {
        out += Fts5Quoted(term.text) + star;
        return;
    }
    // A tag's words are found after its marker, in the column of every tag.
    std::string words = term.text;
    if (term.field->kind == FieldKind::tag) {
        words.clear();
        AppendFieldWords(words, TagMarker(term.tag), term.text);
    }
    out += std::string(term.field->column) + " : " + Fts5Quoted(words) + star;
}

// FTS5's NOT takes the set on its left: "a AND b NOT c NOT d" is every file
// with a and b and neither c nor d, however it groups.
const MatchSyntax fts5Syntax = {" AND ", " OR ", " NOT ", Term};

}  // namespace

std::string Fts5Quoted(std::string_view text)
{
    std::string out(1, '"');
    for (char c : text) {
        if (c == '"')
            out += c;
        out += c;
    }
    return out + '"';
}

std::string Fts5Match(const QueryNode& node)
{
    return RenderQuery(node, fts5Syntax);
}

}  // namespace host::index
