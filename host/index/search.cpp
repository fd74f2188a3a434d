#include "index/search.h"

namespace host::index {
namespace {

// The inner query lets FTS5 sort by rank and stop at the limit before the
// join; snippet() needs the full-text cursor, so it is taken there too.
const char* const searchSql = R"(
SELECT folders.path || '/' || files.name, hit.title, hit.author, hit.snippet, hit.rank
FROM (SELECT rowid, title, author, snippet(texts, -1, ?2, ?3, '…', 12) AS snippet, rank
      FROM texts WHERE texts MATCH ?1 ORDER BY rank LIMIT ?4) AS hit
JOIN files ON files.id = hit.rowid
JOIN folders ON folders.id = files.folder
ORDER BY hit.rank
)";

}  // namespace

SearchStatus Search(IndexDatabase& database, const std::string& query, std::int64_t limit,
                    const SnippetMarks& marks, std::vector<SearchHit>& hits, std::string& error)
{
    Statement statement(database.Database(), searchSql);
    statement.BindText(1, query).BindText(2, marks.open).BindText(3, marks.close).Bind(4, limit);
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        hits.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)),
                        std::string(statement.Text(2)), std::string(statement.Text(3)), statement.Real(4)});
    if (read == SQLITE_DONE)
        return SearchStatus::found;
    error = database.LastError();
    // FTS5 reports what it cannot parse as a plain SQL error; damage and I/O
    // have codes of their own.
    return (read & 0xFF) == SQLITE_ERROR ? SearchStatus::badQuery : SearchStatus::failed;
}

}  // namespace host::index
