// The index's database, on each back end: rows and texts stored, replaced
// and removed, covered paths, run locks, the run log, batches, and
// databases that are not an index of this version.
#include "host/index/index_fixture.h"
#include "sqlite_statement.h"
#include "index/query/search.h"
#include "index/sqlite/pair_tokenizer.h"
#include "index/sqlite/stem_tokenizer.h"
#include "index/sqlite/list_tokenizer.h"
#include "index/sqlite/sqlite_index.h"
#include "index/postgres/postgres_index.h"
#include "index/run/writer.h"
#include "text/letter_folding.h"

#include <fstream>
#include <map>
#include <thread>

namespace trellan::test {
namespace {

using namespace host::index;

size_t Hits(IndexDatabase& database, const std::string& query)
{
    std::vector<SearchHit> hits;
    Outcome error;
    EXPECT_EQ(Find(database, query, 100, {}, hits, error), SearchStatus::found) << error;
    return hits.size();
}

KnownFiles Known(const std::string& location, const std::vector<std::string>& scope = {"/"})
{
    std::string error;
    KnownFiles known;
    auto database = OpenIndex(location, IndexUse::look, error);
    EXPECT_TRUE(database) << error;
    if (database) {
        EXPECT_TRUE(database->LoadKnownFiles(scope, [&](std::string_view folder, std::string_view name,
                                                        const KnownFile& file) {
            known[std::string(folder) + "/" + std::string(name)] = file;
        }));
    }
    return known;
}

// What a SQLite index is made of: each table and index with its columns
// (name, type, NOT NULL, default), the full-text settings, the schema
// version.
std::string Shape(const std::string& path)
{
    Connection connection;
    EXPECT_TRUE(connection.Open(path, false));
    EXPECT_TRUE(host::index::RegisterPairTokenizer(connection.Get()));
    EXPECT_TRUE(host::index::RegisterStemTokenizer(connection.Get()));
    EXPECT_TRUE(host::index::RegisterListTokenizer(connection.Get()));
    std::string shape;
    Statement read(connection, "SELECT s.type || ' ' || s.name || '(' || ifnull((SELECT group_concat(c.name || ' ' || "
                               "c.type || ' ' || c.\"notnull\" || ' ' || ifnull(c.dflt_value, ''), ', ') FROM pragma_table_info(s.name) AS c), "
                               "'') || ')' FROM sqlite_schema AS s UNION ALL SELECT k || '=' || v FROM texts_config "
                               "UNION ALL SELECT 'version ' || user_version FROM pragma_user_version ORDER BY 1");
    int step;
    while ((step = read.Step()) == SQLITE_ROW)
        shape += std::string(read.Text(0)) + "\n";
    EXPECT_EQ(step, SQLITE_DONE) << connection.LastError();
    return shape;
}

using IndexDatabaseTest = IndexFixture;

// What the end-to-end runs do not reach: a file that fails after it was
// indexed loses its text, a folder's row goes with its last file and comes
// back with a new one, and files are known by the paths above them.
TEST_P(IndexDatabaseTest, ReplacesTextsAndDropsEmptyFolders)
{
    StoreAll({TextEntry("/m/a.mp3", "Alpha", "", "", "", {10, 100}), TextEntry("/n/b.mp3", "Beta"),
              TextEntry("/n/sub/c.mp3", "Gamma"), TextEntry("/no/d.mp3", "Delta")});
    KnownFiles known = Known(DatabasePath());
    ASSERT_EQ(known.size(), 4u);
    EXPECT_EQ(known["/m/a.mp3"].stamp, (FileStamp{10, 100}));
    EXPECT_EQ(Known(DatabasePath(), {"/n"}).size(), 2u);  // not /no
    EXPECT_EQ(Known(DatabasePath(), {"/m/a.mp3", "/n/sub"}).size(), 2u);
    {
        ASSERT_TRUE(database->LoadKnownFiles({"/m", "/n"}, [](auto, auto, auto&) {}));
        Transaction transaction(*database);
        ASSERT_TRUE(database->Store(FailedEntry("/m/a.mp3", "empty file", {0, 101}), known["/m/a.mp3"].id));
        ASSERT_TRUE(database->Remove(known["/n/b.mp3"].id));
        ASSERT_TRUE(database->Remove(known["/n/sub/c.mp3"].id));
        ASSERT_TRUE(database->RemoveEmptyFolders());
        ASSERT_TRUE(transaction.Commit());
    }
    EXPECT_EQ(Hits(*database, "alpha OR beta OR gamma"), 0u);
    EXPECT_TRUE(Known(DatabasePath())["/m/a.mp3"].failed);
    std::vector<FailedFile> failures;
    ASSERT_TRUE(database->ListFailures(failures));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, "/m/a.mp3");
    EXPECT_EQ(failures[0].cause, "empty file");

    StoreAll({TextEntry("/n/c.mp3", "Gamma")});
    EXPECT_EQ(Hits(*database, "gamma"), 1u);
    const Outcome checked = database->CheckIntegrity();
    EXPECT_TRUE(checked) << checked;
}

// A run reads what the index holds folder by folder as its walk comes to
// each, in the walk's order ("a/x" before "a b"); PostgreSQL reads a few
// rows at a time here, so that its reads end inside a folder, between
// folders and around a folder larger than a read.
TEST_P(IndexDatabaseTest, ReadsFolderByFolderAsTheWalkComes)
{
    std::map<std::string, size_t> folders = {{"/m/a", 3}, {"/m/a b", 1}, {"/m/a/x", 2},
                                             {"/m/b", 5}, {"/m/d", 1},   {"/n", 1}};
    std::vector<IndexEntry> entries;
    for (const auto& [folder, count] : folders)
        for (size_t i = 0; i < count; ++i)
            entries.push_back(TextEntry(folder + "/" + std::to_string(i) + ".mp3", "t"));
    StoreAll(entries);
    SetFolderReaderRows(4);
    const std::unique_ptr<KnownFolders> reader = database->ReadKnownFolders();
    ASSERT_TRUE(reader);
    std::vector<std::int64_t> walked;
    for (const char* folder : {"/m/a", "/m/a/x", "/m/a b", "/m/b", "/m/c"}) {  // not /m/d
        std::int64_t id = 0;
        size_t files = 0;
        ASSERT_TRUE(reader->Load(folder, id, [&](std::string_view in, std::string_view, const KnownFile&) {
            EXPECT_EQ(in, folder);
            ++files;
        }));
        EXPECT_EQ(files, folders[folder]) << folder;
        EXPECT_EQ(id != 0, folders[folder] > 0) << folder;  // /m/c: new to the index
        walked.push_back(id);
    }
    std::sort(walked.begin(), walked.end());
    std::vector<std::string> others;
    ASSERT_TRUE(reader->LoadOthers({"/m"}, walked, [&](std::string_view in, std::string_view name, const KnownFile&) {
        others.push_back(std::string(in) + "/" + std::string(name));
    }));
    EXPECT_EQ(others, std::vector<std::string>{"/m/d/0.mp3"});
    SetFolderReaderRows(0);
}

TEST_P(IndexDatabaseTest, RemembersPathsAndForgetsThemWithTheirFiles)
{
    StoreAll({TextEntry("/m/a/x.mp3", "Alpha"), TextEntry("/m/b/y.mp3", "Beta")});
    for (const char* path : {"/m/a", "/m/a/deeper", "/m/b", "/m"})
        ASSERT_TRUE(database->AddPath(path));
    std::vector<CoveredPath> paths;
    ASSERT_TRUE(database->ReadPaths(paths));
    ASSERT_EQ(paths.size(), 1u);  // /m holds the others
    EXPECT_EQ(paths[0].path, "/m");
    EXPECT_EQ(paths[0].machine, MachineName());

    std::int64_t removed = 0;
    Outcome forgotten = database->ForgetPath("/m/a", removed);
    EXPECT_EQ(forgotten.kind, OutcomeKind::refused);
    EXPECT_NE(forgotten.message.find("does not cover /m/a"), std::string::npos) << forgotten;
    EXPECT_EQ(Known(DatabasePath()).size(), 2u);
    forgotten = database->ForgetPath("/m", removed);
    ASSERT_TRUE(forgotten) << forgotten;
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(Known(DatabasePath()).size(), 0u);
    paths.clear();
    ASSERT_TRUE(database->ReadPaths(paths));
    EXPECT_TRUE(paths.empty());
}

TEST_P(IndexDatabaseTest, RunsOverTheSamePathsTakeTurns)
{
    // SQLite takes one run at a time; PostgreSQL one run a path, and a path
    // above or below it.
    struct Case {
        std::vector<std::string> held, wanted;
        bool sqlite, postgresql;  // whether the second run may go
    } cases[] = {
        {{"/lib/a"}, {"/lib/a"}, false, false},
        {{"/lib/a"}, {"/lib/a/deep"}, false, false},
        {{"/lib/a/deep"}, {"/lib"}, false, false},
        {{"/lib/a"}, {"/lib/b"}, false, true},
        {{"/lib/a"}, {"/lib/ab", "/other"}, false, true},
    };
    for (const Case& test : cases) {
        std::string error;
        auto first = OpenIndex(DatabasePath(), IndexUse::look, error);
        auto second = OpenIndex(DatabasePath(), IndexUse::look, error);
        ASSERT_TRUE(first && second) << error;
        ASSERT_TRUE(first->LockForRun(test.held));
        const bool allowed = IsPostgres() ? test.postgresql : test.sqlite;
        const Outcome locked = second->LockForRun(test.wanted);
        EXPECT_EQ(static_cast<bool>(locked), allowed) << test.wanted[0];
        if (!allowed) {
            EXPECT_EQ(locked.kind, OutcomeKind::locked) << locked;
            EXPECT_NE(locked.message.find("another trellan index is running"), std::string::npos) << locked;
        }
        first.reset();  // its lock goes with it
        auto third = OpenIndex(DatabasePath(), IndexUse::look, error);
        EXPECT_TRUE(third->LockForRun(test.held));
    }
}

TEST_P(IndexDatabaseTest, RunLogTellsFinishedRunsFromCutShortOnes)
{
    LastRun run;
    ASSERT_TRUE(database->ReadLastRun(run));
    EXPECT_FALSE(run.exists);

    std::int64_t first = 0;
    ASSERT_TRUE(database->StartRun(first));
    ASSERT_TRUE(database->FinishRun(first, {3, 2, 1, 4, 5}, true));
    ASSERT_TRUE(database->ReadLastRun(run));
    EXPECT_TRUE(run.exists);
    EXPECT_FALSE(run.finished.empty());
    EXPECT_EQ(run.counts.added, 3);
    EXPECT_EQ(run.counts.failed, 5);

    std::int64_t killed = 0;
    ASSERT_TRUE(database->StartRun(killed));  // never finished
    ASSERT_TRUE(database->ReadLastRun(run));
    EXPECT_TRUE(run.finished.empty());
    EXPECT_EQ(run.counts.added, 0);
}

TEST_P(IndexDatabaseTest, BatchesCommitWhenFullAndRollBackWhenLeft)
{
    {
        BatchWriter writer(*database, 3, std::chrono::hours(1));
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(writer.Store(TextEntry("/m/" + std::to_string(i), "t"), 0, Counted::added));
        EXPECT_EQ(Known(DatabasePath()).size(), 3u);  // the fourth is in an open batch
        ASSERT_TRUE(writer.CommitIfDue());             // open for less than its time: stays open
        EXPECT_EQ(Known(DatabasePath()).size(), 3u);
        EXPECT_EQ(writer.Committed(Counted::added), 3);  // what is stored, not what was handed over
    }
    EXPECT_EQ(Known(DatabasePath()).size(), 3u);  // left uncommitted: rolled back
    {
        BatchWriter writer(*database, 100, std::chrono::milliseconds(20));
        ASSERT_TRUE(writer.Store(TextEntry("/m/due", "t"), 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(writer.CommitIfDue());  // open for its time with no file coming: committed
        EXPECT_EQ(Known(DatabasePath()).size(), 4u);
    }

    BatchWriter writer(*database, 100, std::chrono::hours(1));
    ASSERT_TRUE(writer.Store(TextEntry("/m/x", "t"), 0));
    ASSERT_TRUE(writer.Remove(Known(DatabasePath())["/m/0"].id));
    ASSERT_TRUE(writer.Commit());
    KnownFiles known = Known(DatabasePath());
    EXPECT_EQ(known.size(), 4u);
    EXPECT_EQ(known.count("/m/0"), 0u);
    EXPECT_EQ(known.count("/m/x"), 1u);

    // A batch whose connection the server cut (a restart) is written whole
    // on a new one.
    if (!IsPostgres())
        return;
    ASSERT_TRUE(writer.Store(TextEntry("/m/before", "t"), 0, Counted::added));
    host::index::postgres::Connection cutter;
    ASSERT_TRUE(cutter.Open(DatabasePath()) &&
                cutter.Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                             "current_database() AND pid <> pg_backend_pid()").Ok());
    ASSERT_TRUE(writer.Store(TextEntry("/m/after", "t"), 0, Counted::added)) << writer.Failure();
    ASSERT_TRUE(writer.Commit()) << writer.Failure();
    // and one cut between batches, as the next one begins.
    ASSERT_TRUE(cutter.Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                             "current_database() AND pid <> pg_backend_pid()").Ok());
    ASSERT_TRUE(writer.Store(TextEntry("/m/next", "t"), 0, Counted::added)) << writer.Failure();
    ASSERT_TRUE(writer.Commit()) << writer.Failure();
    EXPECT_EQ(writer.Committed(Counted::added), 3);
    known = Known(DatabasePath());
    EXPECT_EQ(known.count("/m/before") + known.count("/m/after") + known.count("/m/next"), 3u);
}

TEST_P(IndexDatabaseTest, AFileTheIndexRefusesTakesNoOtherWithIt)
{
    // The index refuses one file's texts, as it would for want of memory.
    ASSERT_TRUE(RawExecute(
        IsPostgres() ? "CREATE FUNCTION trellan.poison() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.name = "
                       "'poison'::bytea AND NEW.status = 'S_OK' THEN RAISE 'out of memory'; END IF; RETURN NEW; END "
                       "$$; CREATE TRIGGER poison BEFORE INSERT ON trellan.files FOR EACH ROW EXECUTE FUNCTION "
                       "trellan.poison()"
                     : "CREATE TRIGGER poison BEFORE INSERT ON files WHEN NEW.name = 'poison' AND NEW.status = "
                       "'S_OK' BEGIN SELECT RAISE(ABORT, 'out of memory'); END"));
    BatchWriter writer(*database, 100, std::chrono::hours(1));
    for (const char* name : {"a", "b", "poison", "c", "d", "e"})
        ASSERT_TRUE(writer.Store(TextEntry(std::string("/p/") + name, name), 0, Counted::added)) << writer.Failure();
    ASSERT_TRUE(writer.Commit()) << writer.Failure();
    EXPECT_EQ(writer.Committed(Counted::added), 5);  // the refused file is a failure, not a new file
    const KnownFiles known = Known(DatabasePath());
    EXPECT_EQ(known.size(), 6u);
    EXPECT_TRUE(known.at("/p/poison").failed);
    EXPECT_FALSE(known.at("/p/e").failed);
    ASSERT_EQ(writer.Refused().size(), 1u);
    EXPECT_NE(writer.Refused()[0].cause.find("out of memory"), std::string::npos) << writer.Refused()[0].cause;
    EXPECT_FALSE(writer.Refused()[0].memory);  // a trigger's refusal by its code, whatever its words say
}

TRELLAN_INDEX_BACKENDS(IndexDatabaseTest);

// The first schema, as the first Trellan with an index made it.
const char* const firstSchemaSql = R"(
CREATE TABLE folders (id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE);
CREATE TABLE files (id INTEGER PRIMARY KEY, folder INTEGER NOT NULL REFERENCES folders (id), name TEXT NOT NULL,
    size INTEGER NOT NULL, modified INTEGER NOT NULL, status TEXT NOT NULL, failed INTEGER NOT NULL,
    cause TEXT NOT NULL);
CREATE VIRTUAL TABLE texts USING fts5(title, author, comments, body, tokenize = 'unicode61 remove_diacritics 2');
INSERT INTO texts(texts, rank) VALUES ('rank', 'bm25(10.0, 4.0, 4.0, 1.0)');
CREATE TABLE runs (id INTEGER PRIMARY KEY, started REAL NOT NULL, finished REAL, complete INTEGER NOT NULL DEFAULT 0,
    added INTEGER NOT NULL DEFAULT 0, changed INTEGER NOT NULL DEFAULT 0, unchanged INTEGER NOT NULL DEFAULT 0,
    removed INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0);
INSERT INTO folders VALUES (1, '/m');
INSERT INTO files VALUES (1, 1, 'a.mp3', 5, 6, 'S_OK', 0, '');
INSERT INTO texts (rowid, title, author, comments, body) VALUES (1, 'Harbour Lights', '', '', '');
PRAGMA user_version = 1;
)";

TEST(IndexDatabaseFile, UpgradesTheFirstSchemaAndRefusesWhatIsNotAnIndex)
{
    TempDir folder;
    struct Case {
        const char* name;
        const char* setupSql;  // null: no database made; "": a text file
        bool create;
        const char* error;     // null: opens
    } cases[] = {
        {"missing.sqlite", nullptr, false, "there is no index at"},
        {"other.sqlite", "CREATE TABLE keys (name TEXT)", true, "is not a Trellan index"},
        {"newer.sqlite", "PRAGMA user_version = 9", true, "schema version 9"},
        {"text.sqlite", "", true, "not a database"},
        {"first.sqlite", firstSchemaSql, false, nullptr},
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
        std::string error;
        auto database = OpenIndex(path, test.create ? IndexUse::run : IndexUse::look, error);
        if (!test.error) {
            ASSERT_TRUE(database) << test.name << ": " << error;
            EXPECT_EQ(Hits(*database, "light"), 1u) << test.name;  // stemmed now
            const KnownFiles known = Known(path);
            ASSERT_EQ(known.size(), 1u);
            EXPECT_EQ(known.begin()->second.stamp.changed, -1);  // filtered again at the next run
            const Outcome checked = database->CheckIntegrity();
            EXPECT_TRUE(checked) << checked;
            // Upgraded, it is made as a new index is.
            database.reset();
            ASSERT_TRUE(OpenIndex(folder.PathOf("new.sqlite"), IndexUse::run, error)) << error;
            EXPECT_EQ(Shape(path), Shape(folder.PathOf("new.sqlite")));
            continue;
        }
        EXPECT_FALSE(database) << test.name;
        EXPECT_NE(error.find(test.error), std::string::npos) << test.name << ": " << error;
    }
}

TEST_P(IndexDatabaseTest, UpgradesTheVersionBeforeInPlaceAndMarksEveryFile)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite's upgrades are followed from its first schema";
    StoreAll({TextEntry("/m/a.mp3", "Harbour Lights")});
    const char* const olderIndexes[] = {
        // Of version 3.
        "ALTER TABLE trellan.files DROP COLUMN album, DROP COLUMN albumartist, DROP COLUMN genre, "
        "DROP COLUMN composer, DROP COLUMN year, DROP COLUMN track, DROP COLUMN disc, DROP COLUMN duration; "
        "ALTER TABLE trellan.texts DROP COLUMN media, DROP COLUMN tags, DROP COLUMN names; "
        "DROP TABLE trellan.settings; UPDATE trellan.schema_version SET version = 3",
        // Of this version, its vectors made without gaps between the texts.
        "DELETE FROM trellan.settings WHERE name = 'vectors'",
    };
    for (const char* older : olderIndexes) {
        database.reset();
        {
            host::index::postgres::Connection connection;
            ASSERT_TRUE(connection.Open(DatabasePath()));
            ASSERT_TRUE(connection.Execute("UPDATE trellan.files SET changed = 0")) << connection.LastError();
            ASSERT_TRUE(connection.Execute(older)) << connection.LastError();
        }
        Reopen();
        EXPECT_EQ(Hits(*database, "harbour"), 1u) << older;
        const KnownFiles known = Known(DatabasePath());
        ASSERT_EQ(known.size(), 1u);
        EXPECT_EQ(known.begin()->second.stamp.changed, -1) << older;
    }
}

// An index whose texts were split before letters were folded, or that is
// of the version before (Porter's stems, no character beside its pairs, no
// disc column): a run's open splits them anew in place, and marks no file
// to be filtered again.
TEST_P(IndexDatabaseTest, TextsSplitByAnOlderVersionAreSplitAnewInPlace)
{
    if (IsPostgres())
        GTEST_SKIP() << "PostgreSQL's files are filtered again, as their vectors are made in the host";
    struct Case {
        const char* olderSql;
        host::index::IndexEntry entry;
        const char* query;
    } cases[] = {
        {"DELETE FROM settings WHERE name = 'folding'", TextEntry("/m/a.mp3", "Ørsted"), "orsted"},
        {"CREATE VIRTUAL TABLE texts4 USING fts5(title, author, comments, body, album, albumartist, genre, composer, "
         "year, track, name, folders, tags, tokenize = 'porter trellan_pairs unicode61 remove_diacritics 2');"
         "INSERT INTO texts4 (rowid, title, author, comments, body, album, albumartist, genre, composer, year, track, "
         "name, folders, tags) SELECT id, c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, c11, c12, c13 FROM texts_content;"
         "DROP TABLE texts; ALTER TABLE texts4 RENAME TO texts; DELETE FROM settings WHERE name = 'stemmer';"
         "DROP TABLE leads; DROP TABLE terms; PRAGMA user_version = 4",
         MediaEntry("/m/b.mp3", "Lying", "", {"夜景", "", "", "", 0, 0, 2, 0, ""}), "lie disc:2 夜"},
        // Of version 5: no leads nor counts of files, made from the texts
        // (one stored before comments had a column, which FTS5 skips).
        {"DROP TABLE leads; DROP TABLE terms; UPDATE texts_content SET c0 = NULL WHERE id = 3; "
         "PRAGMA user_version = 5",
         TextEntry("/m/c.mp3", "", "Harbour", "harbours", "lights"), "harbour"},
    };
    for (const Case& test : cases) {
        StoreAll({test.entry});
        database.reset();
        {
            Connection connection;
            ASSERT_TRUE(connection.Open(DatabasePath(), false));
            ASSERT_TRUE(host::index::RegisterPairTokenizer(connection.Get()) &&
                        host::index::RegisterStemTokenizer(connection.Get()) &&
                        host::index::RegisterListTokenizer(connection.Get()));
            ASSERT_TRUE(connection.Execute(test.olderSql)) << connection.LastError();
        }
        Reopen();
        EXPECT_EQ(Hits(*database, test.query), 1u) << test.query;
        for (const auto& [path, file] : Known(DatabasePath()))
            EXPECT_NE(file.stamp.changed, -1) << path;
        EXPECT_EQ(MiscountedTerms(DatabasePath()), 0) << test.query;
        const Outcome checked = database->CheckIntegrity();
        EXPECT_TRUE(checked) << checked;
        // Split anew, it is made as a new index is.
        std::string error;
        ASSERT_TRUE(OpenIndex(DatabasePath() + ".new", IndexUse::run, error)) << error;
        EXPECT_EQ(Shape(DatabasePath()), Shape(DatabasePath() + ".new"));
    }
    // Counts a run left behind (killed before it wrote them) are counted
    // again by the next run.
    ASSERT_TRUE(RawExecute("UPDATE terms SET files = files + 5"));
    EXPECT_GT(MiscountedTerms(DatabasePath()), 0);
    ASSERT_TRUE(RawExecute("INSERT OR REPLACE INTO settings (name, value) VALUES ('terms', 0)"));
    std::int64_t run = 0;
    ASSERT_TRUE(database->StartRun(run));
    EXPECT_EQ(MiscountedTerms(DatabasePath()), 0);
    // Every file removed, nothing is left of their leads nor their counts.
    for (std::int64_t id = 1; id <= 3; ++id)
        ASSERT_TRUE(database->Remove(id));
    Connection connection;
    ASSERT_TRUE(connection.Open(DatabasePath(), false));
    ASSERT_TRUE(host::index::RegisterListTokenizer(connection.Get()) &&
                connection.Execute("CREATE VIRTUAL TABLE temp.held USING fts5vocab(main, leads, row)"));
    Statement left(connection, "SELECT (SELECT count(*) FROM temp.held) + (SELECT count(*) FROM terms)");
    ASSERT_EQ(left.Step(), SQLITE_ROW);
    EXPECT_EQ(left.Integer(0), 0);
}

TEST_P(IndexDatabaseTest, RefusesAnIndexOfAnotherSchemaVersion)
{
    database.reset();
    if (IsPostgres()) {
        host::index::postgres::Connection connection;
        ASSERT_TRUE(connection.Open(DatabasePath()));
        ASSERT_TRUE(connection.Execute("UPDATE trellan.schema_version SET version = 7"));
    } else {
        Connection connection;
        ASSERT_TRUE(connection.Open(DatabasePath(), false));
        ASSERT_TRUE(connection.Execute("PRAGMA user_version = 7"));
    }
    std::string error;
    EXPECT_FALSE(OpenIndex(DatabasePath(), IndexUse::look, error));
    EXPECT_NE(error.find("schema version 7"), std::string::npos) << error;
}

}  // namespace
}  // namespace trellan::test
