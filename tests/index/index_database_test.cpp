// The index's database: rows and texts stored, replaced and removed, the
// run log, batches, and files that are not an index.
#include "index_fixture.h"
#include "index/search.h"
#include "index/writer.h"

#include <fstream>
#include <thread>

namespace trellan::test {
namespace {

using namespace host::index;

size_t Hits(IndexDatabase& database, const std::string& query)
{
    std::vector<SearchHit> hits;
    std::string error;
    EXPECT_EQ(Search(database, query, 100, {}, hits, error), SearchStatus::found) << error;
    return hits.size();
}

KnownFiles Known(const std::string& path)
{
    IndexDatabase database;
    std::string error;
    KnownFiles known;
    EXPECT_TRUE(database.Open(path, false, error)) << error;
    EXPECT_TRUE(database.LoadKnownFiles([&](std::string_view folder, std::string_view name, const KnownFile& file) {
        known[std::string(folder) + "/" + std::string(name)] = file;
    }));
    return known;
}

// What the end-to-end runs do not reach: a file that fails after it was
// indexed loses its text, and a folder's row goes with its last file and
// comes back with a new one.
TEST_F(IndexFixture, ReplacesTextsAndDropsEmptyFolders)
{
    StoreAll({TextEntry("/m/a.mp3", "Alpha", "", "", "", {10, 100}), TextEntry("/n/b.mp3", "Beta")});
    KnownFiles known = Known(DatabasePath());
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known["/m/a.mp3"].stamp, (FileStamp{10, 100}));
    {
        Transaction transaction(database.Database());
        ASSERT_TRUE(database.Store(FailedEntry("/m/a.mp3", "empty file", {0, 101}), known["/m/a.mp3"].id));
        ASSERT_TRUE(database.Remove(known["/n/b.mp3"].id));
        ASSERT_TRUE(database.RemoveEmptyFolders());
        ASSERT_TRUE(transaction.Commit());
    }
    EXPECT_EQ(Hits(database, "alpha OR beta"), 0u);
    EXPECT_TRUE(Known(DatabasePath())["/m/a.mp3"].failed);
    Statement folders(database.Database(), "SELECT group_concat(path) FROM folders");
    ASSERT_EQ(folders.Step(), SQLITE_ROW);
    EXPECT_EQ(folders.Text(0), "/m");
    folders.Reset();

    StoreAll({TextEntry("/n/c.mp3", "Gamma")});
    EXPECT_EQ(Hits(database, "gamma"), 1u);
    std::string problem;
    EXPECT_TRUE(database.CheckIntegrity(problem)) << problem;
}

TEST_F(IndexFixture, OneRunAtATime)
{
    std::string error;
    ASSERT_TRUE(database.LockForRun(DatabasePath(), error)) << error;
    {
        IndexDatabase other;
        ASSERT_TRUE(other.Open(DatabasePath(), false, error)) << error;
        EXPECT_FALSE(other.LockForRun(DatabasePath(), error));
        EXPECT_NE(error.find("another trellan index is running"), std::string::npos) << error;
    }
    database.Close();
    IndexDatabase next;
    ASSERT_TRUE(next.Open(DatabasePath(), false, error)) << error;
    EXPECT_TRUE(next.LockForRun(DatabasePath(), error)) << error;
}

TEST_F(IndexFixture, RunLogTellsFinishedRunsFromCutShortOnes)
{
    LastRun run;
    ASSERT_TRUE(database.ReadLastRun(run));
    EXPECT_FALSE(run.exists);

    std::int64_t first = database.StartRun();
    ASSERT_TRUE(database.FinishRun(first, {3, 2, 1, 4, 5}, true));
    ASSERT_TRUE(database.ReadLastRun(run));
    EXPECT_TRUE(run.exists);
    EXPECT_FALSE(run.finished.empty());
    EXPECT_EQ(run.counts.added, 3);
    EXPECT_EQ(run.counts.failed, 5);

    database.StartRun();  // killed: never finished
    ASSERT_TRUE(database.ReadLastRun(run));
    EXPECT_TRUE(run.finished.empty());
    EXPECT_EQ(run.counts.added, 0);
}

TEST_F(IndexFixture, BatchesCommitWhenFullAndRollBackWhenLeft)
{
    {
        BatchWriter writer(database, 3, std::chrono::hours(1));
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(writer.Store(TextEntry("/m/" + std::to_string(i), "t"), 0));
        EXPECT_EQ(Known(DatabasePath()).size(), 3u);  // the fourth is in an open batch
        ASSERT_TRUE(writer.CommitIfDue());             // open for less than its time: stays open
        EXPECT_EQ(Known(DatabasePath()).size(), 3u);
    }
    EXPECT_EQ(Known(DatabasePath()).size(), 3u);  // left uncommitted: rolled back
    {
        BatchWriter writer(database, 100, std::chrono::milliseconds(20));
        ASSERT_TRUE(writer.Store(TextEntry("/m/due", "t"), 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(writer.CommitIfDue());  // open for its time with no file coming: committed
        EXPECT_EQ(Known(DatabasePath()).size(), 4u);
    }

    BatchWriter writer(database, 100, std::chrono::hours(1));
    ASSERT_TRUE(writer.Store(TextEntry("/m/x", "t"), 0));
    ASSERT_TRUE(writer.Remove(Known(DatabasePath())["/m/0"].id));
    ASSERT_TRUE(writer.Commit());
    KnownFiles known = Known(DatabasePath());
    EXPECT_EQ(known.size(), 4u);
    EXPECT_EQ(known.count("/m/0"), 0u);
    EXPECT_EQ(known.count("/m/x"), 1u);
}

TEST(IndexDatabaseFile, RefusesWhatIsNotAnIndex)
{
    TempDir folder;
    struct Case {
        const char* name;
        const char* setupSql;  // null: no database made; "": a text file
        bool create;
        const char* error;
    } cases[] = {
        {"missing.sqlite", nullptr, false, "there is no index at"},
        {"other.sqlite", "CREATE TABLE keys (name TEXT)", true, "is not a Trellan index"},
        {"newer.sqlite", "PRAGMA user_version = 9", true, "newer Trellan"},
        {"text.sqlite", "", true, "not a database"},
    };
    for (const Case& test : cases) {
        std::string path = folder.PathOf(test.name);
        if (test.setupSql && *test.setupSql) {
            Connection connection;
            ASSERT_TRUE(connection.Open(path, true));
            ASSERT_TRUE(connection.Execute(test.setupSql));
        } else if (test.setupSql) {
            std::ofstream(path) << "just some text, long enough to be more than a header's worth of bytes...\n";
        }
        IndexDatabase database;
        std::string error;
        EXPECT_FALSE(database.Open(path, test.create, error)) << test.name;
        EXPECT_NE(error.find(test.error), std::string::npos) << test.name << ": " << error;
    }
}

}  // namespace
}  // namespace trellan::test
