// How the SQLite index ranks its matches without reading every match's
// column sizes, and marks the matches that a set of ids holds.
//
// trellan_rank(texts), an FTS5 ranking function: a match's rank as
// query/score.h gives it, from the instances of each phrase in its
// columns, each column in the class the field table gives it. The counts
// come with the match itself, where FTS5's own bm25() reads each match's
// column sizes too.
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
