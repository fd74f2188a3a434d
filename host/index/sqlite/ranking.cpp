// The ranking function and the id-set function that the SQLite index
// registers on its connection.
#include "index/sqlite/ranking.h"

#include "index/query/fields.h"
#include "index/query/score.h"
#include "index/sqlite/pair_tokenizer.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace host::index {
namespace {

// The columns of the texts table, and more: a class for each.
constexpr int kMostColumns = 32;

struct Frequencies {
    std::vector<double> rarity;  // one a phrase
};

// The class of each column (0 for A), as the field table gives it.
struct Classes {
    int of[kMostColumns] = {};
    double weight[rankClassCount] = {};
};

const Classes& ColumnClasses()
{
    static const Classes classes = [] {
        Classes made;
        const std::vector<const Field*>& columns = ColumnFields();
        for (size_t c = 0; c < columns.size() && c < kMostColumns; ++c)
            made.of[c] = columns[c]->weight - 'A';
        for (int k = 0; k < rankClassCount; ++k)
            made.weight[k] = ClassWeight(char('A' + k));
        return made;
    }();
    return classes;
}

void DeleteFrequencies(void* frequencies)
{
    delete static_cast<Frequencies*>(frequencies);
}

int CountRow(const Fts5ExtensionApi*, Fts5Context*, void* rows)
{
    ++*static_cast<sqlite3_int64*>(rows);
    return SQLITE_OK;
}

// Each phrase's rarity, from the rows of the table and those the phrase
// matches. Read once a query, with the first match.
const Frequencies* FrequenciesOf(const Fts5ExtensionApi* api, Fts5Context* fts, int phrases, int& rc)
{
    if (auto* known = static_cast<Frequencies*>(api->xGetAuxdata(fts, 0)))
        return known;
    auto* made = new (std::nothrow) Frequencies;
    if (!made) {
        rc = SQLITE_NOMEM;
        return nullptr;
    }
    made->rarity.assign(static_cast<size_t>(phrases), 1.0);
    sqlite3_int64 rows = 0;
    if (phrases > 1)
        rc = api->xRowCount(fts, &rows);
    for (int phrase = 0; phrase < phrases && phrases > 1 && rc == SQLITE_OK; ++phrase) {
        sqlite3_int64 matched = 0;
        rc = api->xQueryPhrase(fts, phrase, &matched, CountRow);
        made->rarity[static_cast<size_t>(phrase)] = Rarity(rows, matched);
    }
    if (rc == SQLITE_OK)
        rc = api->xSetAuxdata(fts, made, DeleteFrequencies);  // frees it on failure too
    else
        delete made;
    return rc == SQLITE_OK ? made : nullptr;
}

void Rank(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int, sqlite3_value**)
{
    const int phrases = api->xPhraseCount(fts);
    int rc = SQLITE_OK;
    const Frequencies* frequencies = FrequenciesOf(api, fts, phrases, rc);
    if (!frequencies) {
        sqlite3_result_error_code(result, rc);
        return;
    }
    const Classes& classes = ColumnClasses();
    double score = 0;
    for (int phrase = 0; phrase < phrases; ++phrase) {
        int counts[rankClassCount] = {};
        Fts5PhraseIter at;
        int column = -1, offset = 0;
        for (api->xPhraseFirst(fts, phrase, &at, &column, &offset); column >= 0;
             api->xPhraseNext(fts, &at, &column, &offset))
            ++counts[column < kMostColumns ? classes.of[column] : rankClassCount - 1];
        for (int k = 0; k < rankClassCount; ++k)
            if (counts[k])
                score += ClassScore(frequencies->rarity[static_cast<size_t>(phrase)], classes.weight[k], counts[k]);
    }
    sqlite3_result_double(result, -score);
}

void Among(sqlite3_context* result, int, sqlite3_value** values)
{
    const auto* ids = static_cast<const SortedIds*>(sqlite3_value_pointer(values[1], idsPointerType));
    sqlite3_result_int(result, ids && ids->Holds(sqlite3_value_int64(values[0])));
}

}  // namespace

bool SortedIds::Holds(sqlite3_int64 id) const
{
    const size_t size = ids.size();
    if (next > 0 && ids[next - 1] >= id)
        next = 0;  // asked out of order: from the start
    // Every id before `low` is below `id`; the steps double until one is not.
    size_t low = next, step = 1;
    while (low + step < size && ids[low + step] < id) {
        low += step;
        step *= 2;
    }
    const auto end = ids.begin() + static_cast<std::ptrdiff_t>(std::min(size, low + step + 1));
    next = static_cast<size_t>(std::lower_bound(ids.begin() + static_cast<std::ptrdiff_t>(low), end, id) - ids.begin());
    return next < size && ids[next] == id;
}

bool RegisterRanking(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    return api && api->xCreateFunction(api, "trellan_rank", nullptr, Rank, nullptr) == SQLITE_OK &&
           sqlite3_create_function(db, "trellan_among", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Among, nullptr,
                                   nullptr) == SQLITE_OK;
}

}  // namespace host::index
