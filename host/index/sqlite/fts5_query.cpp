// The FTS5 rendering of a query tree. Each term is a quoted string, which
// FTS5 hands to the table's tokenizer, so that a term splits into words as
// the texts did; a term in a field is prefixed with its column. Compound
// children are bracketed, and nothing else is, so that the expression nests
// no deeper than the tree (FTS5's parser has a fixed stack).
#include "index/sqlite/fts5_query.h"

#include "index/properties/field_words.h"

namespace host::index {
namespace {

std::string Quoted(const std::string& text)
{
    std::string out(1, '"');
    for (char c : text) {
        if (c == '"')
            out += c;
        out += c;
    }
    return out + '"';
}

std::string Term(const QueryNode& term)
{
    const std::string star = term.prefix ? " *" : "";
    if (!term.field)
        return Quoted(term.text) + star;
    // A tag's words are found after its marker, in the column of every tag.
    std::string words = term.text;
    if (term.field->kind == FieldKind::tag) {
        words.clear();
        AppendFieldWords(words, TagMarker(term.tag), term.text);
    }
    return std::string(term.field->column) + " : " + Quoted(words) + star;
}

void Render(const QueryNode& node, std::string& out);

void Child(const QueryNode& node, std::string& out)
{
    if (!node.Compound())
        return Render(node, out);
    out += '(';
    Render(node, out);
    out += ')';
}

void Render(const QueryNode& node, std::string& out)
{
    switch (node.kind) {
    case QueryNode::Kind::term:
        out += Term(node);
        return;
    case QueryNode::Kind::range:
        for (long number = node.first; number <= node.last; ++number)
            out.append(number > node.first ? " OR " : "")
                .append(node.field->column)
                .append(" : ")
                .append(Quoted(std::to_string(number)));
        return;
    case QueryNode::Kind::all:
    case QueryNode::Kind::any:
        break;
    }
    const char* const joint = node.kind == QueryNode::Kind::all ? " AND " : " OR ";
    for (size_t i = 0; i < node.children.size(); ++i) {
        if (i)
            out += joint;
        Child(node.children[i], out);
    }
    // FTS5's NOT takes the set on its left: "a AND b NOT c NOT d" is every
    // file with a and b and neither c nor d, however it groups.
    for (const QueryNode& excluded : node.excluded) {
        out += " NOT ";
        Child(excluded, out);
    }
}

}  // namespace

std::string Fts5Match(const QueryNode& node)
{
    std::string out;
    Render(node, out);
    return out;
}

}  // namespace host::index
