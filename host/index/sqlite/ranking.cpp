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

// Adds to `score` what a phrase of `rarity` found `counts` times in each
// class adds to it, class by class.
void AddPhraseScore(double& score, double rarity, const int (&counts)[rankClassCount])
{
    const Classes& classes = ColumnClasses();
    for (int k = 0; k < rankClassCount; ++k)
        if (counts[k])
            score += ClassScore(rarity, classes.weight[k], counts[k]);
}

// The current match's rank, with the phrases' rarities.
double RankOf(const Fts5ExtensionApi* api, Fts5Context* fts, int phrases, const double* rarity)
{
    double score = 0;
    for (int phrase = 0; phrase < phrases; ++phrase) {
        int counts[rankClassCount] = {};
        Fts5PhraseIter at;
        int column = -1, offset = 0;
        for (api->xPhraseFirst(fts, phrase, &at, &column, &offset); column >= 0;
             api->xPhraseNext(fts, &at, &column, &offset))
            ++counts[RankClassOf(column)];
        AddPhraseScore(score, rarity[phrase], counts);
    }
    return -score;
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
    sqlite3_result_double(result, RankOf(api, fts, phrases, frequencies->rarity.data()));
}

// What trellan_scan hands to each match of its phrase.
struct Scan {
    const SortedIds* exact;
    BestMatches* best;
};

int ScanMatch(const Fts5ExtensionApi* api, Fts5Context* fts, void* data)
{
    const auto& scan = *static_cast<const Scan*>(data);
    const double rarity = 1.0;  // one phrase: as trellan_rank leaves it out
    const sqlite3_int64 id = api->xRowid(fts);
    try {
        scan.best->Add({id, RankOf(api, fts, 1, &rarity), scan.exact && scan.exact->Holds(id)});
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

int AppendRowid(const Fts5ExtensionApi* api, Fts5Context* fts, void* ids)
{
    try {
        static_cast<std::vector<sqlite3_int64>*>(ids)->push_back(api->xRowid(fts));
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

// Runs `visit` on every match of the query's one phrase; 0 into `result`,
// and nothing run, for a query of more phrases.
void OnEveryMatch(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, void* data,
                  int (*visit)(const Fts5ExtensionApi*, Fts5Context*, void*))
{
    if (api->xPhraseCount(fts) != 1 || !data) {
        sqlite3_result_int(result, 0);
        return;
    }
    const int rc = api->xQueryPhrase(fts, 0, data, visit);
    if (rc == SQLITE_OK)
        sqlite3_result_int(result, 1);
    else
        sqlite3_result_error_code(result, rc);
}

void ScanAll(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int count, sqlite3_value** values)
{
    Scan scan{count == 2 ? static_cast<const SortedIds*>(sqlite3_value_pointer(values[0], idsPointerType)) : nullptr,
              count == 2 ? static_cast<BestMatches*>(sqlite3_value_pointer(values[1], bestPointerType)) : nullptr};
    OnEveryMatch(api, fts, result, scan.best ? &scan : nullptr, ScanMatch);
}

void AllRowids(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int count, sqlite3_value** values)
{
    OnEveryMatch(api, fts, result, count == 1 ? sqlite3_value_pointer(values[0], rowidsPointerType) : nullptr,
                 AppendRowid);
}

void Among(sqlite3_context* result, int, sqlite3_value** values)
{
    const auto* ids = static_cast<const SortedIds*>(sqlite3_value_pointer(values[1], idsPointerType));
    sqlite3_result_int(result, ids && ids->Holds(sqlite3_value_int64(values[0])));
}

}  // namespace

int RankClassOf(int column)
{
    return column >= 0 && column < kMostColumns ? ColumnClasses().of[column] : rankClassCount - 1;
}

double OneWordRank(const int (&counts)[rankClassCount])
{
    double score = 0;
    AddPhraseScore(score, 1.0, counts);
    return -score;
}

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

RankedMatch CutToBest(std::vector<RankedMatch>& matches, std::int64_t limit)
{
    std::nth_element(matches.begin(), matches.begin() + (limit - 1), matches.end(), RanksBefore);
    const RankedMatch last = matches[size_t(limit - 1)];
    matches.erase(std::remove_if(matches.begin(), matches.end(),
                                 [&last](const RankedMatch& match) { return RanksBefore(last, match); }),
                  matches.end());
    return last;
}

// Room for a few pages, and never less than a few thousand matches: each
// cut costs a pass over what is kept.
BestMatches::BestMatches(std::int64_t limit)
    : limit(limit), room(limit > 0 ? std::max<size_t>(size_t(limit) * 8, 4096) : SIZE_MAX), cutAt(room)
{
    if (limit > 0)
        kept.reserve(room);
}

void BestMatches::Add(const RankedMatch& match)
{
    ++total;
    if (bar && RanksBefore(*bar, match))
        return;
    kept.push_back(match);
    if (kept.size() == cutAt) {
        bar = CutToBest(kept, limit);
        cutAt = std::max(room, kept.size() * 2);  // ties may fill it again
    }
}

bool RegisterRanking(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    return api && api->xCreateFunction(api, "trellan_rank", nullptr, Rank, nullptr) == SQLITE_OK &&
           api->xCreateFunction(api, "trellan_scan", nullptr, ScanAll, nullptr) == SQLITE_OK &&
           api->xCreateFunction(api, "trellan_rowids", nullptr, AllRowids, nullptr) == SQLITE_OK &&
           sqlite3_create_function(db, "trellan_among", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Among, nullptr,
                                   nullptr) == SQLITE_OK;
}

}  // namespace host::index
