// Finds the hits of a query typed as text: the query parsed (the syntax of
// query_parser.h), then asked of whichever back end holds the index. Hits
// rank with exact words above other forms of their stems, then by weight:
// the title above the author and the comments, and those above the body.
#pragma once

#include "index/store/database.h"

namespace host::index {

enum class SearchStatus {
    found,     // `hits` holds the hits, if any
    badQuery,  // the parser refused the query: `problem`'s message says where it went wrong
    failed,    // the index failed: `problem` is its outcome
};

// At most `limit` hits (0: all) in `order`; `total`, when given, is the
// number of files that match.
SearchStatus Find(IndexDatabase& database, const std::string& query, std::int64_t limit, const SnippetMarks& marks,
                  std::vector<SearchHit>& hits, Outcome& problem, SearchOrder order = SearchOrder::rank,
                  std::int64_t* total = nullptr);

}  // namespace host::index
