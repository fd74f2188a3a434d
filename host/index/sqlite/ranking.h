// How the SQLite index ranks its matches without reading every match's
// column sizes, and marks the matches that a set of ids holds.
//
// trellan_rank(texts, w0, w1, ...), an FTS5 ranking function: lower ranks
// first, as FTS5's own bm25(). For each phrase of the query, its inverse
// document frequency times, for each column, the column's weight (w0 for
// the first; 1 where none is given) times the phrase's count there,
// saturated as BM25 saturates it (k1 = 1.2). Unlike bm25(), a column's
// length does not lower its matches' rank: bm25() reads each match's
// column sizes, a lookup that cost most of a search that matches thousands
// of files, while the counts come with the match itself. A query of one
// phrase leaves its frequency out, a factor common to every match.
//
// trellan_among(id, set): 1 when `set`, a SortedIds bound as a pointer of
// type `idsPointerType`, holds `id`, else 0.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <vector>

namespace host::index {

inline constexpr const char* idsPointerType = "trellan_ids";

// Sorted ids, asked whether they hold an id. A full-text scan asks in
// ascending order, so each lookup gallops on from where the last one ended:
// a step or two a match, where a binary search of thousands of ids cost a
// twentieth of a search. Any other order is answered as well, only slower.
class SortedIds {
public:
    explicit SortedIds(const std::vector<sqlite3_int64>& ids) : ids(ids) {}
    bool Holds(sqlite3_int64 id) const;

private:
    const std::vector<sqlite3_int64>& ids;
    mutable std::size_t next = 0;  // the first id not below the last one asked for
};

// Registers both functions on `db`. False when this SQLite has no FTS5 or
// a registration fails.
bool RegisterRanking(sqlite3* db);

}  // namespace host::index
