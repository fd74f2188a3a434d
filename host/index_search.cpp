#include "index_search.h"

namespace host::index {
namespace {

// The inner query lets FTS5 sort by rank and stop at the limit before the
// join; snippet() needs the full-text cursor, so it is taken there too.
const char* const searchSql = R"(
SELECT files.path, hit.title, hit.author, hit.snippet, hit.rank
FROM (SELECT rowid, title, author, snippet(texts, -1, ?2, ?3, '…', 12) AS snippet, rank
      FROM texts WHERE texts MATCH ?1 ORDER BY rank LIMIT ?4) AS hit
JOIN files ON files.id = hit.rowid
ORDER BY hit.rank
)";

}  // namespace

bool Search(IndexDatabase& database, const std::string& query, std::int64_t limit, const SnippetMarks& marks,
            std::vector<SearchHit>& hits, std::string& error)
{
    Statement statement(database.Database(), searchSql);
    statement.Bind(1, query).Bind(2, marks.open).Bind(3, marks.close).Bind(4, limit);
    while (statement.Step())
        hits.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)),
                        std::string(statement.Text(2)), std::string(statement.Text(3)), statement.Real(4)});
    if (!statement.Failed())
        return true;
    error = database.LastError();
    return false;
}

}  // namespace host::index
