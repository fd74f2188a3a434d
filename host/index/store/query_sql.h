// The SQL that both back ends speak alike for searches and lists: the
// conditions of the place filters, the orders of hits, the statements that
// list an index's values, and the columns a hit carries.
#pragma once

#include "index/store/database.h"
#include "index/query/query_tree.h"

#include <string>
#include <vector>

namespace host::index {

// A back end's SQL test of each place filter, '@' standing for the value's
// parameter, and how its parameters are named ('?' or '$' and a number).
struct PlaceSql {
    const char* path;
    const char* dir;
    const char* ext;
    char parameter;
};

// The place filters as " AND (...)" conditions, their values bound from
// parameter `first` on: one kind's values are alternatives.
std::string PlaceConditions(const std::vector<PlaceFilter>& places, int first, const PlaceSql& sql);

// The media columns of a hit, in the order both back ends give them, from
// column `firstMediaColumn` on, after its path, title, author, an id or a
// snippet, its rank and the total.
struct HitColumn {
    const char* name;
    std::string SearchHit::*text;    // one or the other
    std::int64_t SearchHit::*number;
};
inline constexpr HitColumn hitMediaColumns[] = {
    {"album", &SearchHit::album, nullptr},       {"albumartist", &SearchHit::albumArtist, nullptr},
    {"genre", &SearchHit::genre, nullptr},       {"composer", &SearchHit::composer, nullptr},
    {"year", nullptr, &SearchHit::year},         {"track", nullptr, &SearchHit::track},
    {"disc", nullptr, &SearchHit::disc},         {"duration", nullptr, &SearchHit::duration},
};
inline constexpr int firstMediaColumn = 6;

// What both back ends take of a match's file, beside its exact, rank,
// title, author and path: the modification time (for an order) and the
// media columns, each "files.NAME AS NAME".
const std::string& MatchMediaColumns();
// The media columns by their names, as a hit gives them.
const std::string& HitMediaColumns();

// Fills `hit`'s media fields from a row that `text(i)` and `number(i)` read.
template <class Text, class Number>
void ReadHitMedia(SearchHit& hit, const Text& text, const Number& number)
{
    int column = firstMediaColumn;
    for (const HitColumn& each : hitMediaColumns) {
        if (each.text)
            hit.*each.text = text(column++);
        else
            hit.*each.number = number(column++);
    }
}

// How a back end writes the sort key of a name (text/sort_key.h), '@'
// standing for the name's column.
struct SortKeySql {
    const char* key;
    std::string Of(const char* column) const;
};

// The ORDER BY of hits in `order`, over the columns both back ends give a
// hit: exact, rank, title, author, path and the media columns.
std::string OrderBy(SearchOrder order, const SortKeySql& sort);

// Whether `order` sorts by the title or author, which the back ends then
// read for every match rather than for the hits shown alone.
bool OrdersByNames(SearchOrder order);

// The statement that lists the values of `kind` (value, files, artist,
// year) over the files whose ids `ids` selects (every file when empty);
// `textsKey` is the texts' column that holds a file's id; `schema` names
// the tables' schema, with its dot, where there is one.
std::string ListSql(ListKind kind, const std::string& ids, const char* textsKey, const SortKeySql& sort,
                    const char* schema = "");

}  // namespace host::index
