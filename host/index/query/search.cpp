// A search: the query parsed, then asked of whichever back end holds the
// index.
#include "index/query/search.h"

#include "index/query/query_parser.h"

namespace host::index {

SearchStatus Find(IndexDatabase& database, const std::string& query, std::int64_t limit, const SnippetMarks& marks,
                  std::vector<SearchHit>& hits, Outcome& problem, SearchOrder order, std::int64_t* total)
{
    Query parsed;
    QueryError malformed;
    if (!ParseQuery(query, parsed, malformed)) {
        problem = {OutcomeKind::refused, malformed.Message()};
        return SearchStatus::badQuery;
    }
    std::int64_t matched = 0;
    problem = database.Search(parsed, limit, marks, order, hits, matched);
    if (total)
        *total = matched;
    return problem ? SearchStatus::found : SearchStatus::failed;
}

}  // namespace host::index
