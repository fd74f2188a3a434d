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
//
// A query of one phrase (a word, a phrase, a field's word: the commonest
// searches, and those of the most matches) is scanned whole in one call of
// a function, through FTS5's own walk of the phrase's matches, rather than
// row by row through SQL, which cost more than the ranking itself:
// - trellan_scan(texts, set, best): ranks every match of the query as
//   trellan_rank does, marks those `set` holds (none for NULL), and gives
//   them to `best`, a BestMatches bound as a pointer of type
//   `bestPointerType`;
// - trellan_rowids(table, ids): appends the id of every match, in order, to
//   `ids`, a std::vector<sqlite3_int64> bound as a pointer of type
//   `rowidsPointerType`.
// Each answers 1 when it did so, and 0, having done nothing, for a query of
// more phrases, which the caller then reads row by row. Called for the
// first match alone (LIMIT 1).
#pragma once

#include "index/query/score.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace host::index {

inline constexpr const char* idsPointerType = "trellan_ids";
inline constexpr const char* bestPointerType = "trellan_best";
inline constexpr const char* rowidsPointerType = "trellan_rowids";

struct RankedMatch {
    std::int64_t id;
    double rank;
    bool exact;
};

// True when `a` is shown before `b`: a match of the exact words first,
// then the lower rank.
inline bool RanksBefore(const RankedMatch& a, const RankedMatch& b)
{
    return a.exact != b.exact ? a.exact : a.rank < b.rank;
}

// Lets go of the matches worse than the `limit`th best (of more than
// `limit`), and answers that one: ties with it stay.
RankedMatch CutToBest(std::vector<RankedMatch>& matches, std::int64_t limit);

// The matches of a ranked search as they come, cut to the best whenever
// they fill their room: the limit's last then bars every later match worse
// than it, so that a query of a hundred thousand matches holds a few pages
// of them, not every one. Every match is kept when the limit is 0.
class BestMatches {
public:
    explicit BestMatches(std::int64_t limit);
    void Add(const RankedMatch& match);
    std::int64_t Total() const { return total; }
    // Every match as good as the limit's last, ties included, and some
    // worse ones; in no order.
    std::vector<RankedMatch>& Kept() { return kept; }

private:
    const std::int64_t limit;
    const size_t room;
    size_t cutAt;
    std::optional<RankedMatch> bar;
    std::vector<RankedMatch> kept;
    std::int64_t total = 0;
};

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

// The class of the texts table's `column` (0 for A), as the field table
// gives it.
int RankClassOf(int column);

// The rank trellan_rank gives a match of a query of one phrase found
// `counts` times in each class: the same sums in the same order.
double OneWordRank(const int (&counts)[rankClassCount]);

// Registers both functions on `db`. False when this SQLite has no FTS5 or
// a registration fails.
bool RegisterRanking(sqlite3* db);

}  // namespace host::index
