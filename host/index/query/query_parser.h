// Reads the search syntax into a query tree: words (all must match),
// "a phrase", OR (or "or" between two terms), AND, NOT, -word, brackets,
// prefix*, and the fields of the field table. The text comes as the file
// system's bytes, so that a place filter matches a name that is not UTF-8;
// a term's words are text, what does not decode in them U+FFFD.
#pragma once

#include "index/query/query_tree.h"

#include <string>
#include <string_view>

namespace host::index {

// How deep brackets and fields may nest: deeper queries are refused, never
// followed down until the stack or a back end's parser gives out.
inline constexpr int kDeepestQuery = 20;

// The widest range a number field takes: each number in it is a term.
inline constexpr long kMostNumbersInRange = 1000;

struct QueryError {
    size_t at = 0;        // the byte where the parser stopped, from 0
    std::string problem;  // what is wrong there

    // "problem (at character N)"
    std::string Message() const;
};

// A query typed as text, as the parser reads it: the file system's bytes
// (the code page of file names), in which its words are text and its
// places paths.
std::string QueryBytes(std::u16string_view query);

// False, with `error` saying where and why, for a malformed query.
bool ParseQuery(std::string_view text, Query& query, QueryError& error);

}  // namespace host::index
