// The first page of a one-word query of many matches, from the word's
// leads: its files read level by level, best first, each ranked where it
// stands, until no file left unread can pass the page's last.
//
// A file at level L scores less than L + 1; a file without leads for the
// word less than kLeastLeadLevel. So once `limit` exact matches rank at or above the bar of
// the next level, every file not yet read ranks below them, exact or not,
// and the page is the one a ranking of every match gives, ties and all.
#include "index/query/fields.h"
#include "index/sqlite/fts5_query.h"
#include "index/sqlite/ranking.h"
#include "index/sqlite/sqlite_index.h"
#include "index/sqlite/stem_tokenizer.h"

#include <algorithm>
#include <new>

namespace host::index {
namespace {

// Fewer matches than `from` are ranked every one: a walk of them costs
// less. A file ranked where it stands costs about as much as `walkPerLookup`
// matches walked: past as many files as the matches over that, the walk
// is cheaper.
struct Limits {
    std::int64_t from = 4096;
    std::int64_t walkPerLookup = 64;
} limits;
struct OneToken {
    std::string token;
    int tokens = 0;
    bool colocated = false;
};

int KeepToken(void* context, int flags, const char* token, int size, int, int)
{
    auto& one = *static_cast<OneToken*>(context);
    one.colocated = one.colocated || (flags & FTS5_TOKEN_COLOCATED);
    try {
        if (++one.tokens == 1)
            one.token.assign(token, static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

// The instances of one token in a row's texts, by class, as the row is
// split again column by column.
struct Instances {
    std::string_view token;
    int column = 0;
    int counts[rankClassCount] = {};
};

int CountInstance(void* context, int, const char* token, int size, int, int)
{
    auto& instances = *static_cast<Instances*>(context);
    if (std::string_view(token, static_cast<size_t>(size)) == instances.token)
        ++instances.counts[RankClassOf(instances.column)];
    return SQLITE_OK;
}

struct Candidate {
    RankedMatch match;
    bool probed = false;
};

}  // namespace

void SetLeadingLimits(std::int64_t from, std::int64_t walkPerLookup)
{
    limits = {from, walkPerLookup};
}

bool SqliteIndex::LeadingPage(const Matching& query, std::string_view word, std::int64_t limit, std::string& page,
                              std::int64_t& total, int& read)
{
    // The word as the texts hold it: one token, or no leads to read.
    const TextSplitter splitter(connection.Get());
    OneToken one;
    if (!splitter.Valid() || splitter.Split(FTS5_TOKENIZE_QUERY, word, &one, KeepToken) != SQLITE_OK ||
        one.tokens != 1 || one.colocated || one.token.size() > kLongestLeadToken)
        return false;
    // (None while a run holds the counts' changes: they are behind.)
    Statement counted(connection, "SELECT files FROM terms WHERE term = ?1 AND NOT EXISTS "
                                  "(SELECT 1 FROM settings WHERE name = 'terms' AND value = 0)");
    read = counted.BindText(1, one.token).Step();
    const std::int64_t files = read == SQLITE_ROW ? counted.Integer(0) : 0;
    if (read == SQLITE_ROW)
        read = SQLITE_DONE;
    if (read != SQLITE_DONE || files < limits.from)
        return read != SQLITE_DONE;

    // Each candidate is ranked from its stored texts, split again: looking
    // its row up among the word's matches reads the word's pages in every
    // segment of the index for each.
    std::string columns;
    for (size_t i = 0; i < ColumnFields().size(); ++i)
        columns += (i ? ", c" : "c") + std::to_string(i);
    Statement level(connection, "SELECT rowid FROM leads WHERE leads MATCH ?1");
    Statement stored(connection, ("SELECT " + columns + " FROM texts_content WHERE id = ?1").c_str());
    // SQLITE_ROW when ranked; SQLITE_DONE for a file without texts, whose
    // leads are then out of step with them (the walk reads the texts alone).
    const auto rankOf = [&](std::int64_t id, double& rank) {
        read = stored.Bind(1, id).Step();
        Instances instances{one.token};
        for (; read == SQLITE_ROW && instances.column < int(ColumnFields().size()); ++instances.column)
            if (!stored.Null(instances.column) &&
                splitter.Split(FTS5_TOKENIZE_DOCUMENT, stored.Text(instances.column), &instances, CountInstance) !=
                    SQLITE_OK)
                read = SQLITE_NOMEM;
        rank = OneWordRank(instances.counts);
        stored.Reset();
        return read;
    };
    Statement probe(connection, "SELECT 1 FROM words WHERE words MATCH ?1 AND rowid = ?2");
    const auto stepped = [&read](Statement& statement) {
        read = statement.Step();
        return read == SQLITE_ROW || read == SQLITE_DONE;
    };
    std::vector<Candidate> candidates;
    const size_t mostCandidates = size_t(std::max<std::int64_t>(1, files / limits.walkPerLookup));
    for (int at = TopLeadLevel(); at >= kLeastLeadLevel - 1; --at) {
        // Settled when `limit` exact matches rank at or above every file
        // unread, which scores below this.
        const double bar = -double(at + 1);
        std::sort(candidates.begin(), candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.match.rank < b.match.rank; });
        std::int64_t exact = 0;
        double lastRank = bar;
        size_t through = 0;  // the candidates on the page or tied with its last
        for (; through < candidates.size() && candidates[through].match.rank <= bar; ++through) {
            Candidate& candidate = candidates[through];
            if (exact >= limit && candidate.match.rank > lastRank)
                break;
            if (!candidate.probed) {
                if (!stepped(probe.BindText(1, query.fts5).Bind(2, candidate.match.id)))
                    return true;
                candidate.match.exact = read == SQLITE_ROW;
                candidate.probed = true;
                probe.Reset();
            }
            if (candidate.match.exact && ++exact == limit)
                lastRank = candidate.match.rank;
        }
        if (exact >= limit) {
            std::vector<RankedMatch> best;
            for (size_t i = 0; i < through; ++i)
                best.push_back(candidates[i].match);
            read = SQLITE_DONE;
            total = files;
            page = CutPage(best, limit);
            return true;
        }
        if (at < kLeastLeadLevel)
            break;
        // The next level's files, each ranked where it stands.
        level.BindText(1, Fts5Quoted(one.token + kLevelSeparator + std::to_string(at)));
        while (candidates.size() <= mostCandidates && stepped(level) && read == SQLITE_ROW) {
            const std::int64_t id = level.Integer(0);
            double rank = 0;
            if (rankOf(id, rank) != SQLITE_ROW)
                return read != SQLITE_DONE;
            candidates.push_back({{id, rank, false}});
        }
        if (read != SQLITE_ROW && read != SQLITE_DONE)
            return true;
        if (candidates.size() > mostCandidates) {
            read = SQLITE_DONE;
            return false;  // the walk of every match costs less
        }
        level.Reset();
    }
    read = SQLITE_DONE;
    return false;  // too few exact matches among the leads: the page lies lower
}

}  // namespace host::index
