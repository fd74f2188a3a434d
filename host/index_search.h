// Searches the index: FTS5 query syntax (column filters such as
// title:harbour or author:"mira okonkwo" included), hits ranked by bm25
// with the title weighted above the author and the comments, and those
// above the body.
#pragma once

#include "index_database.h"

namespace host::index {

struct SearchHit {
    std::string path;  // the file system's bytes
    std::string title, author;
    std::string snippet;  // the best passage, matches between the markers
    double rank = 0;      // bm25: lower is better
};

struct SnippetMarks {
    const char* open = "[";
    const char* close = "]";
};

// Answers false when the query cannot run; `error` then says why (a
// malformed query names the place the parser stopped).
bool Search(IndexDatabase& database, const std::string& query, std::int64_t limit, const SnippetMarks& marks,
            std::vector<SearchHit>& hits, std::string& error);

}  // namespace host::index
