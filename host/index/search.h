// Searches the index: FTS5 query syntax (column filters such as
// title:harbour or author:"mira okonkwo" included), hits ranked by bm25
// with the title weighted above the author and the comments, and those
// above the body.
#pragma once

#include "index/database.h"

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

enum class SearchStatus {
    found,     // `hits` holds the hits, if any
    badQuery,  // the query is malformed or names no column of the index
    failed,    // the index cannot be read
};

// On failure `error` says why; for a malformed query, where the parser stopped.
SearchStatus Search(IndexDatabase& database, const std::string& query, std::int64_t limit,
                    const SnippetMarks& marks, std::vector<SearchHit>& hits, std::string& error);

}  // namespace host::index
