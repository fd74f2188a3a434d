// An index of each back end, and entries to store in it: SQLite in a
// temporary folder, PostgreSQL in a database of its own on the server that
// TRELLAN_TEST_POSTGRES names (scripts/test.sh starts one), dropped after
// the test; and, for the searches, PostgreSQL searched through the
// connection pooler that TRELLAN_TEST_POSTGRES_POOLER names (written
// directly). Where no server is named, the PostgreSQL rows fail under CI and
// are skipped elsewhere, saying why.
#pragma once

#include "index/store/database.h"
#include "index/postgres/postgres_connection.h"
#include "index/query/search.h"
#include "index/sqlite/pair_tokenizer.h"
#include "index/sqlite/stem_tokenizer.h"
#include "sqlite_statement.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <unordered_map>

namespace host::index {
// What a failed operation says, in a test's message.
inline std::ostream& operator<<(std::ostream& out, const Outcome& outcome)
{
    return out << outcome.message;
}
}  // namespace host::index

namespace trellan::test {

using KnownFiles = std::unordered_map<std::string, host::index::KnownFile>;

enum class Backend { sqlite, postgresql, pooled };

inline host::index::IndexEntry TextEntry(const std::string& path, const std::string& title,
                                         const std::string& author = "", const std::string& comments = "",
                                         const std::string& body = "", host::index::FileStamp stamp = {1, 1})
{
    host::index::IndexEntry entry;
    entry.path = path;
    entry.stamp = stamp;
    entry.status = "S_OK";
    entry.title = title;
    entry.author = author;
    entry.comments = comments;
    entry.body = body;
    return entry;
}

// A media file: its texts and its properties, as a run stores them.
inline host::index::IndexEntry MediaEntry(const std::string& path, const std::string& title, const std::string& author,
                                          const host::MediaProperties& media)
{
    host::index::IndexEntry entry = TextEntry(path, title, author, "", title + "\n" + author);
    entry.media = media;
    return entry;
}

inline host::index::IndexEntry FailedEntry(const std::string& path, const std::string& cause,
                                           host::index::FileStamp stamp = {1, 1})
{
    host::index::IndexEntry entry = TextEntry(path, "", "", "", "", stamp);
    entry.status = "FILTER_E_ACCESS";
    entry.failed = true;
    entry.cause = cause;
    return entry;
}

// How many tokens the SQLite index at `path` counts the files of otherwise
// than its full-text table holds them, unless the counts are marked behind
// (a run held their changes), which no search trusts (-1: it cannot be read).
inline std::int64_t MiscountedTerms(const std::string& path)
{
    platform::sqlite::Connection connection;
    if (!connection.Open(path, false) || !host::index::RegisterPairTokenizer(connection.Get()) ||
        !host::index::RegisterStemTokenizer(connection.Get()) ||
        !connection.Execute("CREATE VIRTUAL TABLE temp.held USING fts5vocab(main, texts, row)"))
        return -1;
    platform::sqlite::Statement miscounted(
        connection, "SELECT (SELECT count(*) FROM (SELECT term, doc FROM temp.held EXCEPT SELECT term, files FROM "
                    "terms)) + (SELECT count(*) FROM (SELECT term, files FROM terms EXCEPT SELECT term, doc FROM "
                    "temp.held)) WHERE NOT EXISTS (SELECT 1 FROM settings WHERE name = 'terms' AND value = 0)");
    const int read = miscounted.Step();
    return read == SQLITE_ROW ? miscounted.Integer(0) : read == SQLITE_DONE ? 0 : -1;
}

class IndexFixture : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (IsPostgres()) {
            const char* server = std::getenv("TRELLAN_TEST_POSTGRES");
            const char* pooler = std::getenv("TRELLAN_TEST_POSTGRES_POOLER");
            const char* missing = !server || !*server ? "TRELLAN_TEST_POSTGRES"
                                  : GetParam() == Backend::pooled && (!pooler || !*pooler)
                                      ? "TRELLAN_TEST_POSTGRES_POOLER"
                                      : nullptr;
            if (missing) {
                if (std::getenv("CI"))
                    FAIL() << missing << " names no PostgreSQL server; scripts/test.sh starts one";
                GTEST_SKIP() << missing << " names no PostgreSQL server (scripts/test.sh starts one)";
            }
            static std::atomic<int> made{0};
            const std::string name = "trellan_test_" + std::to_string(getpid()) + "_" + std::to_string(made++);
            ASSERT_TRUE(server_.Open(server)) << server_.LastError();
            ASSERT_TRUE(server_.Execute(("CREATE DATABASE " + name).c_str())) << server_.LastError();
            databaseName = name;  // dropped at the end only once made
            location = std::string(server) + " dbname=" + databaseName;
            if (GetParam() == Backend::pooled)
                searchedLocation = std::string(pooler) + " dbname=" + databaseName;
        } else {
            location = folder.PathOf("index.sqlite");
        }
        Reopen();
        if (!searchedLocation.empty()) {
            std::string error;
            searched = host::index::OpenIndex(searchedLocation, host::index::IndexUse::search, error);
            ASSERT_TRUE(searched) << error;
            // A run, which holds session locks, is refused there, saying why.
            EXPECT_FALSE(host::index::OpenIndex(searchedLocation, host::index::IndexUse::run, error));
            EXPECT_NE(error.find("is reached through a connection pooler"), std::string::npos) << error;
        }
    }
    void TearDown() override
    {
        searched.reset();
        database.reset();
        if (!databaseName.empty())
            server_.Execute(("DROP DATABASE IF EXISTS " + databaseName + " WITH (FORCE)").c_str());
    }
    void Reopen()
    {
        database.reset();
        std::string error;
        database = host::index::OpenIndex(location, host::index::IndexUse::run, error);
        ASSERT_TRUE(database) << error;
    }
public:  // for the steps of a table
    const std::string& DatabasePath() const { return location; }
    bool IsPostgres() const { return GetParam() != Backend::sqlite; }
    // Runs `sql` on the index through a connection of the test's own, as
    // another program would.
    bool RawExecute(const char* sql) const
    {
        if (IsPostgres()) {
            host::index::postgres::Connection raw;
            return raw.Open(location) && raw.Execute(sql);
        }
        platform::sqlite::Connection raw;
        return raw.Open(location, false) && raw.Execute(sql);
    }
    // The index as a search opens it (through the pooler, for that row).
    host::index::IndexDatabase& Searched() { return searched ? *searched : *database; }

protected:

    // Stores each entry as a new file, in one transaction.
    void StoreAll(const std::vector<host::index::IndexEntry>& entries)
    {
        host::index::Transaction transaction(*database);
        for (const auto& entry : entries) {
            const host::index::Outcome stored = database->Store(entry, 0);
            ASSERT_TRUE(stored) << stored;
        }
        ASSERT_TRUE(transaction.Commit());
    }

    // The file names that `query` finds, best first.
    std::vector<std::string> Found(const std::string& query)
    {
        std::vector<host::index::SearchHit> hits;
        host::index::Outcome error;
        EXPECT_EQ(Find(Searched(), query, 10000, {}, hits, error), host::index::SearchStatus::found)
            << query << ": " << error;
        std::vector<std::string> names;
        for (const host::index::SearchHit& hit : hits)
            names.push_back(hit.path.substr(hit.path.rfind('/') + 1));
        return names;
    }

    TempDir folder;
    std::unique_ptr<host::index::IndexDatabase> database;
    std::unique_ptr<host::index::IndexDatabase> searched;  // for the pooled row

private:
    host::index::postgres::Connection server_;
    std::string databaseName;
    std::string location;
    std::string searchedLocation;
};

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::sqlite ? "SQLite" : info.param == Backend::postgresql ? "PostgreSQL" : "PgBouncer";
}

// Every test of a fixture, once for each back end.
#define TRELLAN_INDEX_BACKENDS(fixture) \
    INSTANTIATE_TEST_SUITE_P(Backends, fixture, ::testing::Values(Backend::sqlite, Backend::postgresql), BackendName)

// Every search test, besides, through a connection pooler.
#define TRELLAN_SEARCH_BACKENDS(fixture)                                                                    \
    INSTANTIATE_TEST_SUITE_P(Backends, fixture,                                                             \
                             ::testing::Values(Backend::sqlite, Backend::postgresql, Backend::pooled), BackendName)

}  // namespace trellan::test
