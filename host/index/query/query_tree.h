// A search query as a tree, what the parser makes of the text a user types
// and what each back end renders into its own match syntax: terms (a word,
// or the words of a "phrase" in a row, either as a prefix*), each in one
// field or in all; ranges of a number field; and all-of (with the terms
// that must not match) and any-of above them. Where the file is (path:,
// dir:, ext:) is kept apart: it filters the whole query.
#pragma once

#include "index/query/fields.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace host::index {

struct QueryNode {
    enum class Kind {
        term,   // `text` in `field` (null: every field), a prefix when `prefix`
        range,  // the numbers `first` to `last` in `field`, any of them
        all,    // every one of `children`, none of `excluded`
        any,    // one of `children` at least
    };
    Kind kind = Kind::all;
    const Field* field = nullptr;
    std::string tag;     // the tag's name (UTF-8), under tag:
    std::string text;    // a term's words (UTF-8), holding at least one word
    bool phrase = false; // typed in quotes
    bool prefix = false;
    long first = 0, last = 0;
    std::vector<QueryNode> children, excluded;

    bool Compound() const { return kind == Kind::all || kind == Kind::any || kind == Kind::range; }
};

// A filter on where the file is: several of one kind are alternatives, and
// every kind given must hold.
struct PlaceFilter {
    PlaceKind kind;
    std::string value;  // path and dir: the file system's bytes, absolute; ext: without the dot
};

struct Query {
    QueryNode words;  // an all-of with no children when the query has place filters alone
    std::vector<PlaceFilter> places;

    bool HasWords() const { return words.kind != QueryNode::Kind::all || !words.children.empty(); }
};

// The tree as text, for tests and messages: title:"a b" for a term,
// (and x y -z), (or x y), year:1995..1999.
std::string DescribeQuery(const QueryNode& node);

// How a back end writes a tree in its match syntax: its operators, and how
// it writes a term (a range is any of its numbers, each a term of the
// range's field). Compound children are bracketed, and nothing else is, so
// that the expression nests no deeper than the tree.
struct MatchSyntax {
    const char* all;      // between the children of an all-of: " AND "
    const char* any;      // between alternatives: " OR "
    const char* without;  // before each excluded child of an all-of: " NOT "
    void (*term)(const QueryNode& term, std::string& out);
};
std::string RenderQuery(const QueryNode& node, const MatchSyntax& syntax);

// Calls `visit(term, excluded)` for each term in the order RenderQuery
// writes them, a range's numbers each a term: the order in which a back end
// numbers a rendered query's phrases. `excluded` when a NOT above the term
// keeps its files out.
void ForEachTerm(const QueryNode& node, const std::function<void(const QueryNode& term, bool excluded)>& visit,
                 bool excluded = false);

}  // namespace host::index
