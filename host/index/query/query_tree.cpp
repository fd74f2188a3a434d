// The query tree written out: as text, the form the parser's tests compare,
// and in a back end's match syntax.
#include "index/query/query_tree.h"

namespace host::index {

std::string DescribeQuery(const QueryNode& node)
{
    std::string field;
    if (node.field)
        field = std::string(node.field->name) + ":" + (node.tag.empty() ? "" : node.tag + ":");
    switch (node.kind) {
    case QueryNode::Kind::term:
        return field + (node.phrase ? "\"" + node.text + "\"" : node.text) + (node.prefix ? "*" : "");
    case QueryNode::Kind::range:
        return field + std::to_string(node.first) +
               (node.last != node.first ? ".." + std::to_string(node.last) : std::string());
    case QueryNode::Kind::all:
    case QueryNode::Kind::any:
        break;
    }
    std::string text = node.kind == QueryNode::Kind::all ? "(and" : "(or";
    for (const QueryNode& child : node.children)
        text += " " + DescribeQuery(child);
    for (const QueryNode& child : node.excluded)
        text += " -" + DescribeQuery(child);
    return text + ")";
}

namespace {

// The term a range's number `each` is: one of the range's field.
QueryNode NumberTerm(const QueryNode& range, long each)
{
    QueryNode number;
    number.kind = QueryNode::Kind::term;
    number.field = range.field;
    number.text = std::to_string(each);
    return number;
}

void Render(const QueryNode& node, const MatchSyntax& syntax, std::string& out);

void Child(const QueryNode& node, const MatchSyntax& syntax, std::string& out)
{
    if (!node.Compound())
        return Render(node, syntax, out);
    out += '(';
    Render(node, syntax, out);
    out += ')';
}

void Render(const QueryNode& node, const MatchSyntax& syntax, std::string& out)
{
    switch (node.kind) {
    case QueryNode::Kind::term:
        syntax.term(node, out);
        return;
    case QueryNode::Kind::range:
        for (long each = node.first; each <= node.last; ++each) {
            out += each > node.first ? syntax.any : "";
            syntax.term(NumberTerm(node, each), out);
        }
        return;
    case QueryNode::Kind::all:
    case QueryNode::Kind::any:
        break;
    }
    const char* const joint = node.kind == QueryNode::Kind::all ? syntax.all : syntax.any;
    for (size_t i = 0; i < node.children.size(); ++i) {
        out += i ? joint : "";
        Child(node.children[i], syntax, out);
    }
    for (const QueryNode& excluded : node.excluded) {
        out += syntax.without;
        Child(excluded, syntax, out);
    }
}

}  // namespace

std::string RenderQuery(const QueryNode& node, const MatchSyntax& syntax)
{
    std::string out;
    Render(node, syntax, out);
    return out;
}

void ForEachTerm(const QueryNode& node, const std::function<void(const QueryNode&, bool)>& visit, bool excluded)
{
    switch (node.kind) {
    case QueryNode::Kind::term:
        return visit(node, excluded);
    case QueryNode::Kind::range:
        for (long each = node.first; each <= node.last; ++each)
            visit(NumberTerm(node, each), excluded);
        return;
    case QueryNode::Kind::all:
    case QueryNode::Kind::any:
        break;
    }
    for (const QueryNode& child : node.children)
        ForEachTerm(child, visit, excluded);
    for (const QueryNode& child : node.excluded)
        ForEachTerm(child, visit, true);
}

}  // namespace host::index
