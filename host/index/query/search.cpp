// A search: the query parsed, then asked of whichever back end holds the
// index.
#include "index/query/search.h"

#include "index/query/query.h"

namespace host::index {

SearchStatus Search(IndexDatabase& database, const std::string& query, std::int64_t limit,
                    const SnippetMarks& marks, std::vector<SearchHit>& hits, std::string& error, SearchOrder order,
                    std::int64_t* total)
{
    ParsedQuery parsed;
    if (!ParseQuery(query, parsed, error))
        return SearchStatus::badQuery;
    std::int64_t matched = 0;
    const SearchStatus status = database.Search(parsed, limit, marks, order, hits, matched, error);
    if (total)
        *total = matched;
    return status;
}

}  // namespace host::index
