#include "index/query/search.h"

#include "index/query/query.h"

namespace host::index {

SearchStatus Search(IndexDatabase& database, const std::string& query, std::int64_t limit,
                    const SnippetMarks& marks, std::vector<SearchHit>& hits, std::string& error)
{
    ParsedQuery parsed;
    if (!ParseQuery(query, parsed, error))
        return SearchStatus::badQuery;
    return database.Search(parsed, limit, marks, hits, error);
}

}  // namespace host::index
