// A query tree as the text of a PostgreSQL tsquery (to_tsquery's input),
// the texts' fields as the weights of one vector, the properties' words
// after their markers.
#pragma once

#include "index/query/query_tree.h"

#include <string>
#include <vector>

namespace host::index {

std::string TsqueryText(const QueryNode& node);

// A term of the query as a tsquery of its own, for the ranking to count:
// the classes of text it can be found in (query/score.h), and whether a
// NOT keeps its files out (it then counts nothing).
struct RankedTerm {
    std::string tsquery;
    std::string classes;  // "ABCD" for a term in every field
    bool excluded = false;
    // For a number of a number field (year:1994, or one of a range): the
    // column of the files that holds it, and the number; the term is found
    // once in a file whose column holds it, and nowhere else.
    const char* numberColumn = nullptr;
    long number = 0;
};

// Each term, in the order SQLite's FTS5 numbers the phrases of the same
// tree rendered for it.
std::vector<RankedTerm> TsqueryTerms(const QueryNode& node);

}  // namespace host::index
