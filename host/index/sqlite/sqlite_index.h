// The index in a SQLite file of its own: folders and files in tables, the
// texts in an FTS5 table with English stems (Snowball's, over the pairs and
// the folded letters over unicode61, accents removed), and the same words
// unstemmed in a contentless FTS5 table, so that exact words rank above
// their stems' other forms. One run writes at
// a time (a lock on a companion file); searches read during a run (WAL).
#pragma once

#include "index/store/database.h"
#include "index/query/query_tree.h"
#include "index/sqlite/stem_tally.h"
#include "index/sqlite/term_counts.h"
#include "sqlite_statement.h"

#include <optional>
#include <unordered_map>

namespace host::index {

class SortedIds;
struct RankedMatch;

using platform::sqlite::Connection;
using platform::sqlite::Statement;

// The file beside an index that says it is damaged: a run, or a search,
// that found damage leaves it, with what was found, so that every later
// command refuses the index (a search need not check the whole index to
// know), until a rebuild moves it aside with the index.
std::string DamageMarkPath(const std::string& index);

// For tests: a one-word query of `from` matches or more reads its leads,
// and gives them up past one file ranked for every `walkPerLookup` of its
// matches (4096 and 64 unless set).
void SetLeadingLimits(std::int64_t from, std::int64_t walkPerLookup);

class SqliteIndex : public IndexDatabase {
public:
    ~SqliteIndex() override;

    // On failure `error` says why. An index marked damaged is refused, but
    // for `despiteDamageMark` (a rebuild that reads the paths it covers).
    bool Open(const std::string& path, bool create, std::string& error, bool despiteDamageMark = false);

    Outcome CheckSound() override;
    std::string Name() const override { return path; }
    Outcome LockForRun(const std::vector<std::string>& paths) override;
    Outcome LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know) override;
    std::unique_ptr<KnownFolders> ReadKnownFolders() override;
    // The files of `folder` alone; `id` gets its row (0: none).
    Outcome LoadKnownFolder(std::string_view folder, std::int64_t& id, const KnowFile& know);
    // LoadKnownFiles but for the folders whose rows `skipped` (sorted) holds,
    // or come after `newest`.
    Outcome LoadKnownFilesExcept(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                                 std::int64_t newest, const KnowFile& know);
    Outcome Begin() override;
    Outcome Commit() override;
    void Rollback() override;
    Outcome Store(const IndexEntry& entry, std::int64_t knownId) override;
    Outcome Remove(std::int64_t id) override;
    Outcome RemoveUnder(const std::string& under) override;
    // A new index in a fresh file beside the one at `original`, holding its
    // run lock, to take its place (TakePlace) or be discarded.
    bool OpenReplacing(const std::string& original, std::string& error);
    Outcome TakePlace(std::string& kept) override;
    void Discard() override;
    Outcome RemoveEmptyFolders() override;
    Outcome ReadPaths(std::vector<CoveredPath>& paths) override;
    Outcome InsertPath(const CoveredPath& path) override;
    Outcome SetExcludes(const CoveredPath& path) override;
    Outcome DropPath(const std::string& path, bool& dropped) override;
    Outcome StartRun(std::int64_t& run) override;
    Outcome FinishRun(std::int64_t run, const RunCounts& counts, bool complete) override;
    Outcome ReadLastRun(LastRun& run) override;
    Outcome StartWatching() override;
    Outcome StopWatching() override;
    Outcome ReadWatchers(std::vector<RunningWatcher>& watchers) override;
    Outcome CountByStatus(std::vector<StatusCount>& counts) override;
    Outcome ListFailures(std::vector<FailedFile>& files) override;
    Outcome CheckIntegrity() override;
    Outcome Search(const Query& query, std::int64_t limit, const SnippetMarks& marks, SearchOrder order,
                   std::vector<SearchHit>& hits, std::int64_t& total) override;
    Outcome List(ListKind kind, const Query* query, std::vector<ListedValue>& values) override;
    void RunEnded(bool wrote) override;

private:
    // The last statement's failure, of the kind its code tells; damage is
    // remembered with what was said of it, since a rollback after it clears
    // the connection's error.
    Outcome Failed() const;
    Outcome Said(bool done) const { return done ? Done() : Failed(); }
    bool Damaged() const;
    bool StoreRows(const IndexEntry& entry, std::int64_t knownId);
    // The full-text tables' own check; false with `problem`.
    bool FullTextSound(std::string& problem);
    bool CreateSchema(bool create, std::string& error);
    // How the index's texts were split: by this version, or by another of
    // the pairs (every file is filtered again) or of the folded letters (the
    // texts kept are split anew).
    enum class Splitting { now, otherPairs, otherFolding };
    Splitting SplitBy() const;
    // Splits the texts anew when the index was split by another version.
    bool SplitAsNow(std::string& error);
    // A query as FTS5 matches it: its tree rendered (empty for place
    // filters alone), and its place filters.
    struct Matching {
        std::string fts5;
        const std::vector<PlaceFilter>& places;
        bool fields = false;  // a term is asked of a field: FTS5 filters its matches by column
    };
    // `query` rendered for FTS5 (null: every file, as `list` without one).
    static Matching Rendered(const Query* query);
    // The statement of the files `query` matches (an id, its exact flag,
    // its rank), its parameters bound from ?1 on by BindMatches, but for
    // ?5, the sorted ids of the files whose exact words match.
    std::string MatchesSql(const Matching& query) const;
    void BindMatches(Statement& statement, const Matching& query) const;
    // The first `count` of the files `ids` (sorted) in the order of their
    // paths, found by going through the folders in that order, without
    // looking up each file; false when that would read more than a lookup
    // of each would (the files lie far apart), or on an error.
    bool FirstByPath(const std::vector<std::int64_t>& ids, size_t count, std::vector<std::int64_t>& first);
    // The matches of `query` as good as the `limit`th best, ties included
    // but cut to the limit by path where they are many, as a JSON array of
    // [id, exact, rank]; `total` gets the count of every match, `read` the
    // last step's code.
    std::string RankedPage(const Matching& query, std::int64_t limit, const SortedIds& exact, std::int64_t& total,
                           int& read);
    // A ranked page of a query of one phrase from its best matches by rank,
    // the exact ones among them asked for one by one; false (nothing done)
    // for a query of more phrases or of few matches, or where too few of
    // the best are exact. A failure is in `read`.
    bool ProbedPage(const Matching& query, std::int64_t limit, std::string& page, std::int64_t& total, int& read);
    // The matches cut to the page: those as good as the limit's last, and
    // of many that tie with it the first by path; as JSON.
    std::string CutPage(std::vector<RankedMatch>& matches, std::int64_t limit);
    // Each hit's snippet: `hits[i]` is the file `ids[i]`. Their texts are
    // copied into a full-text table of this connection's own, in memory,
    // and the query matched there once, where matching each hit in the
    // index again would look the query's words up in each of its segments.
    bool Snippets(const Matching& query, const SnippetMarks& marks, const std::vector<std::int64_t>& ids,
                  std::vector<SearchHit>& hits);
    // PRAGMA quick_check, and the full-text tables' own check after a run
    // that was cut short; false, `error` saying what was found (damage) or
    // why the index cannot be read.
    bool CheckBeforeWriting(std::string& error);
    // Leaves the damage mark, saying `problem`, once; not for a file that
    // was never opened as an index.
    void MarkDamaged(const std::string& problem);
    Statement& Cached(std::unique_ptr<Statement>& slot, const char* sql);
    void RememberFolder(const std::string& folder, std::int64_t id);
    // The row of a folder path, made if need be; 0 on failure.
    std::int64_t FolderId(const std::string& folder);
    // Takes a file's texts out of the exact-word table (it needs them back).
    bool RemoveWords(std::int64_t id);
    // After a row of texts was inserted (`sign` 1) or deleted (-1), or
    // split again, with the tally armed: its leads stored or taken out, and
    // its tokens' counts changed; false when `written` is.
    bool TallyRow(std::int64_t id, bool written, std::int64_t sign);
    // The tally's changes to the counts of files, into the terms table at
    // once (outside a transaction, or as the tables are made).
    bool WriteTally();
    // The leads and counts of every stored row (tables emptied before).
    bool TallyAll();
    // A ranked page of a query of one word (`word`) read from its leads,
    // level by level, its count from the terms table; false (nothing done)
    // where the word is not one token, has few matches, or its leads
    // cannot settle the page cheaply. A failure is in `read`.
    bool LeadingPage(const Matching& query, std::string_view word, std::int64_t limit, std::string& page,
                     std::int64_t& total, int& read);

    // Before the connection, whose tokenizers report to it.
    StemTally tally;
    std::string leadsOfRow;
    mutable bool tallyShort = false;  // the tally ran short of memory: the failure to report
    // First, so that the statements are finalized before it closes.
    Connection connection;
    Connection runLock;
    std::string path;
    std::unique_ptr<Statement> findFolder, insertFolder, insertFile, updateFile, deleteFile, insertText, deleteText,
        insertWords, readText, deleteWords, folderRowStatement, folderFilesStatement, insertLeads, deleteLeads;
    TermCounts counts{connection};
    std::unordered_map<std::string, std::int64_t> folderIds;
    std::optional<platform::sqlite::WriteTransaction> transaction;
    std::int64_t watcherRow = 0;
    mutable bool damaged = false;
    mutable std::string damageSaid;
    bool opened = false;  // the file opened as an index
    bool marked = false;  // the damage mark left or found
    std::string lockPath;  // the run lock's file: the index's own, or the one a rebuild replaces
    std::string replaced;  // for a replacement: the index it replaces
    // Closes the index (copying its log into it if this process wrote) but
    // keeps the run lock.
    void CloseIndex();
};

}  // namespace host::index
