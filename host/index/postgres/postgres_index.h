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

    std::string LastError() const override { return connection.LastError(); }
    FailureKind LastFailure() const override;
    std::string Name() const override { return location; }
    bool LockForRun(const std::vector<std::string>& paths, std::string& error) override;
    bool LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know) override;
    bool Begin() override;
    bool Commit() override;
    void Rollback() override;
    bool Store(const IndexEntry& entry, std::int64_t knownId) override;
    bool Remove(std::int64_t id) override;
    bool RemoveUnder(const std::string& under) override;
    bool Reconnect(std::string& error) override;
    bool RemoveEmptyFolders() override;
    bool ReadPaths(std::vector<CoveredPath>& paths) override;
    std::int64_t StartRun() override;
    bool FinishRun(std::int64_t run, const RunCounts& counts, bool complete) override;
    bool ReadLastRun(LastRun& run) override;
    bool StartWatching() override;
    void StopWatching() override;
    bool ReadWatchers(std::vector<RunningWatcher>& watchers) override;
    bool CountByStatus(std::vector<StatusCount>& counts) override;
    bool ListFailures(std::vector<FailedFile>& files) override;
    bool CheckIntegrity(std::string& problem) override;
    SearchStatus Search(const Query& query, std::int64_t limit, const SnippetMarks& marks, SearchOrder order,
                        std::vector<SearchHit>& hits, std::int64_t& total, std::string& error) override;
    SearchStatus List(ListKind kind, const Query* query, std::vector<ListedValue>& values,
                      std::string& error) override;

protected:
    bool InsertPath(const CoveredPath& path) override;
    bool SetExcludes(const CoveredPath& path) override;
    bool DropPath(const std::string& path, bool& dropped) override;

private:
    bool CreateSchema(std::string& error);
    // Moves the schema from version `from` to the next, once, whoever comes first.
    bool Upgrade(std::int64_t from, const std::string& sql, std::int64_t& found, std::string& error);
    std::int64_t FolderId(const std::string& folder);

    postgres::Connection connection;
    std::string location;          // without the password, for people
    std::string connectionString;  // as given, to reconnect
    std::vector<std::string> lockedPaths;
    std::unordered_map<std::string, std::int64_t> folderIds;  // folders this run has met
    std::int64_t watcherRow = 0;
};

}  // namespace host::index
