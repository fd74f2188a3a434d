// The index in a PostgreSQL database that many machines share, in a
// schema of its own ("trellan"): folders and files with their paths as
// bytes, the texts with two tsvectors (English stems and exact words, both
// with accents folded by unaccent, weighted title A, author B, comments C,
// body D) and a GIN index on the stems. Runs over different paths write at
// once; runs over the same path, or one above or below it, take turns
// through advisory locks, which the server lets go when a run's
// connection ends, however it ends.
#pragma once

#include "index/store/database.h"
#include "index/postgres/postgres_connection.h"

#include <unordered_map>

namespace host::index {

class PostgresIndex : public IndexDatabase {
public:
    // On failure `error` says why. `forSearch`: for search and list alone,
    // with nothing kept in the session (a pooler may stand between).
    bool Open(const std::string& location, bool forSearch, std::string& error);

    std::string Name() const override { return location; }
    Outcome LockForRun(const std::vector<std::string>& paths) override;
    Outcome LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know) override;
    std::unique_ptr<KnownFolders> ReadKnownFolders() override;
    // For the folder reader, on its own connection: the folders from
    // `from` on, in the order of their paths' bytes (or `alone`, that
    // folder alone), as the index held them before the run (rows up to
    // `newest`). `each` is called for each of their files, and once with an
    // empty name for a folder without any; `rows` counts them. The folders
    // from `from` on are read to `most` rows at the most.
    using KnowFolder = std::function<void(std::int64_t folderId, std::string_view folder, std::string_view name,
                                          const KnownFile& file)>;
    Outcome ReadFolders(const std::string& from, bool alone, std::int64_t newest, std::int64_t most,
                        const KnowFolder& each, std::int64_t& rows);
    // The files of the folders under `scope` (folders) up to row `newest`
    // that `skipped` (sorted) does not hold.
    Outcome LoadKnownFilesExcept(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                                 std::int64_t newest, const KnowFile& know);
    Outcome Begin() override;
    Outcome Commit() override;
    void Rollback() override;
    Outcome Store(const IndexEntry& entry, std::int64_t knownId) override;
    Outcome Remove(std::int64_t id) override;
    Outcome RemoveUnder(const std::string& under) override;
    Outcome Reconnect() override;
    Outcome RemoveEmptyFolders() override;
    Outcome ReadPaths(std::vector<CoveredPath>& paths) override;
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

protected:
    Outcome InsertPath(const CoveredPath& path) override;
    Outcome SetExcludes(const CoveredPath& path) override;
    Outcome DropPath(const std::string& path, bool& dropped) override;

private:
    // The last statement's failure, of the kind its SQLSTATE tells.
    Outcome Failed() const;
    Outcome Said(bool done) const { return done ? Done() : Failed(); }
    bool StoreRows(const IndexEntry& entry, std::int64_t knownId);
    bool CreateSchema(std::string& error);
    // Moves the schema from version `from` to the next, once, whoever comes first.
    bool Upgrade(std::int64_t from, const std::string& sql, std::int64_t& found, std::string& error);
    // Calls `each` for every row of `select`, read through a cursor some
    // thousands of rows at a time, inside the open transaction.
    using EachRow = std::function<void(const postgres::Result& rows, int row)>;
    bool ReadThroughCursor(const std::string& select, const postgres::Params& params, const EachRow& each);
    std::int64_t FolderId(const std::string& folder);
    void RememberFolder(std::string_view folder, std::int64_t id);

    postgres::Connection connection;
    std::string location;          // without the password, for people
    std::string connectionString;  // as given, to reconnect
    std::vector<std::string> lockedPaths;
    std::unordered_map<std::string, std::int64_t> folderIds;  // folders this run met last
    std::int64_t watcherRow = 0;
};

// A test seam: the rows the folder reader reads at once (0: its own
// number), so that a small index shows its reads cut.
void SetFolderReaderRows(std::int64_t rows);

}  // namespace host::index
