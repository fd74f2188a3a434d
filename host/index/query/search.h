// Finds the hits of a query typed as text: the query parsed (the syntax of
// query_parser.h), then asked of whichever back end holds the index. Hits
// rank with exact words above other forms of their stems, then by weight:
// the title above the author and the comments, and those above the body.
#pragma once

#include "index/store/database.h"

namespace host::index {

// On failure `error` says why; for a malformed query, where it went wrong.
// At most `limit` hits (0: all) in `order`; `total`, when given, is the
// number of files that match.
SearchStatus Find(IndexDatabase& database, const std::string& query, std::int64_t limit, const SnippetMarks& marks,
                  std::vector<SearchHit>& hits, std::string& error, SearchOrder order = SearchOrder::rank,
                  std::int64_t* total = nullptr);

}  // namespace host::index
