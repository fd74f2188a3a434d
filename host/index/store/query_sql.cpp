// The SQL pieces both back ends share. Names sort by their keys (case,
// accents and the letters typed without their marks folded away), each
// back end's function of the key, so that "adele", "Adele" and "Àdele"
// sort together on either.
#include "index/store/query_sql.h"

namespace host::index {

std::string PlaceConditions(const std::vector<PlaceFilter>& places, int first, const PlaceSql& sql)
{
    std::string where;
    for (PlaceKind kind : {PlaceKind::path, PlaceKind::dir, PlaceKind::ext}) {
        std::string any;
        for (size_t i = 0; i < places.size(); ++i) {
            if (places[i].kind != kind)
                continue;
            const std::string parameter = sql.parameter + std::to_string(first + int(i));
            std::string test = kind == PlaceKind::path ? sql.path : kind == PlaceKind::dir ? sql.dir : sql.ext;
            for (size_t at; (at = test.find('@')) != std::string::npos;)
                test.replace(at, 1, parameter);
            any += (any.empty() ? "" : " OR ") + test;
        }
        if (!any.empty())
            where += " AND (" + any + ")";
    }
    return where;
}

const std::string& MatchMediaColumns()
{
    static const std::string columns = [] {
        std::string sql = "files.modified AS modified";
        for (const HitColumn& column : hitMediaColumns)
            sql = sql + ", files." + column.name + " AS " + column.name;
        return sql;
    }();
    return columns;
}

const std::string& HitMediaColumns()
{
    static const std::string columns = [] {
        std::string sql;
        for (const HitColumn& column : hitMediaColumns)
            sql = sql + (sql.empty() ? "" : ", ") + column.name;
        return sql;
    }();
    return columns;
}

std::string SortKeySql::Of(const char* column) const
{
    std::string sql = key;
    sql.replace(sql.find('@'), 1, column);
    return sql;
}

std::string OrderBy(SearchOrder order, const SortKeySql& sort)
{
    switch (order) {
    case SearchOrder::title:
        return sort.Of("title") + ", path";
    case SearchOrder::artist:
        return sort.Of("author") + ", " + sort.Of("title") + ", path";
    case SearchOrder::album:
        return sort.Of("CASE WHEN albumartist <> '' THEN albumartist ELSE author END") + ", " + sort.Of("album") +
               ", disc, track, path";
    case SearchOrder::year:
        return "year = 0, year, " + sort.Of("album") + ", disc, track, path";
    case SearchOrder::path:
        return "path";
    case SearchOrder::modified:
        return "modified DESC, path";
    case SearchOrder::rank:
        break;
    }
    return "exact DESC, rank, path";
}

bool OrdersByNames(SearchOrder order)
{
    return order == SearchOrder::title || order == SearchOrder::artist || order == SearchOrder::album;
}

std::string ListSql(ListKind kind, const std::string& ids, const char* textsKey, const SortKeySql& sort,
                    const char* schema)
{
    // What each kind lists (a field of the field table, as the index
    // stores it), what else it is grouped by, and what is shown beside it.
    struct ListRow {
        ListKind kind;
        const char* field;
        const char* alsoGrouped;
        const char* artist;
        const char* year;
    };
    static const ListRow listTable[] = {
        {ListKind::artists, "artist", "", "''", "0"},
        {ListKind::albums, "album", ", CASE WHEN files.albumartist <> '' THEN files.albumartist ELSE '' END",
         "CASE WHEN max(files.albumartist) <> '' THEN max(files.albumartist) "
         "WHEN min(texts.author) = max(texts.author) THEN min(texts.author) ELSE '' END",
         "CASE WHEN min(files.year) = max(files.year) THEN min(files.year) ELSE 0 END"},
        {ListKind::genres, "genre", "", "''", "0"},
        {ListKind::years, "year", "", "''", "files.year"},
        {ListKind::composers, "composer", "", "''", "0"},
    };
    const ListRow* row = &listTable[0];
    for (const ListRow& each : listTable)
        if (each.kind == kind)
            row = &each;
    const Field* field = FindField(row->field);
    const std::string stored = field->stored;
    const bool number = field->kind == FieldKind::number;
    const std::string value = number ? "CAST(" + stored + " AS text)" : stored;
    const std::string group = stored + row->alsoGrouped;
    const std::string empty = number ? stored + " > 0" : stored + " <> ''";
    return "SELECT * FROM (SELECT " + value + " AS value, count(*) AS files, " + row->artist +
           " AS artist, " + row->year + " AS year FROM " + schema + "files AS files JOIN " + schema +
           "texts AS texts ON " + textsKey + " = files.id WHERE " +
           empty + (ids.empty() ? std::string() : " AND files.id IN (" + ids + ")") + " GROUP BY " + group +
           ") AS listed ORDER BY " +
           (number ? std::string("year")
                                    : sort.Of("value") + ", value" + (kind == ListKind::albums ? ", " + sort.Of("artist") : ""));
}

}  // namespace host::index
