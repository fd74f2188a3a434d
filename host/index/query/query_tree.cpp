// The query tree written out as text, the form the parser's tests and the
// fuzzer compare.
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

}  // namespace host::index
