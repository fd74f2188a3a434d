// The index's SQLite schema and its reads and writes. WAL with
// synchronous=NORMAL: a killed process loses only the transaction it was
// in, and readers (a search during a run) never wait for the writer.
#include "index/sqlite/sqlite_index.h"

#include "index/properties/field_words.h"
#include "index/query/fields.h"
#include "index/query/score.h"
#include "index/sqlite/fts5_query.h"
#include "index/sqlite/list_tokenizer.h"
#include "index/sqlite/pair_tokenizer.h"
#include "index/sqlite/ranking.h"
#include "index/sqlite/stem_tokenizer.h"
#include "index/store/bookkeeping_sql.h"
#include "index/store/query_sql.h"
#include "system/platform_differences.h"
#include "text/cjk_pairs.h"
#include "text/letter_folding.h"
#include "text/sort_key.h"
#include "text/text_conversion.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <queue>
#include <utility>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host::index {
namespace {

constexpr int kSchemaVersion = 6;
constexpr int kBusyTimeoutMilliseconds = 30000;
// Ties with the last hit shown beyond this many are cut in the order of
// their paths by going through the folders (FirstByPath), not by joining
// each to its path.
constexpr size_t kMostTiesJoined = 1000;
// A ranked page of one phrase of more matches than this takes the best of
// as many by rank (or four pages), and asks at most so many of them whether
// their exact words match.
constexpr std::int64_t kProbedMatches = 256;
constexpr size_t kMostProbes = 256;
// How long a run waits for another's run lock before it is refused.
constexpr int kRunLockWaitMilliseconds = 250;

// What version 2 adds to version 1, and how version 1 is brought up to it:
// the covered paths, the watchers, files found by folder (runs over part of
// the index), the stemmed texts and the exact words. An index of version 1
// covers no path until a run names one.
const char* const upgradeSql = R"(
CREATE TABLE paths (
    path TEXT PRIMARY KEY,
    machine TEXT NOT NULL,
    added REAL NOT NULL
);
CREATE TABLE watchers (
    id INTEGER PRIMARY KEY,
    machine TEXT NOT NULL,
    process INTEGER NOT NULL,
    started REAL NOT NULL
);
CREATE INDEX files_by_folder ON files (folder, name);
CREATE VIRTUAL TABLE stems USING fts5(title, author, comments, body,
    tokenize = 'porter unicode61 remove_diacritics 2');
INSERT INTO stems (rowid, title, author, comments, body) SELECT rowid, title, author, comments, body FROM texts;
CREATE VIRTUAL TABLE words USING fts5(title, author, comments, body, content = '',
    tokenize = 'unicode61 remove_diacritics 2');
INSERT INTO words (rowid, title, author, comments, body) SELECT rowid, title, author, comments, body FROM texts;
DROP TABLE texts;
ALTER TABLE stems RENAME TO texts;
INSERT INTO texts(texts, rank) VALUES ('rank', 'bm25(10.0, 4.0, 4.0, 1.0)');
PRAGMA user_version = 2;
)";

// Version 3 knows a file also by its change time and its file number, so
// that an edit that kept the write time is seen (the rows of an older index
// have neither, so each file is filtered again at the next run), and what
// each covered path's runs leave out (globs one a line).
const char* const upgradeToThreeSql = R"(
ALTER TABLE files ADD COLUMN changed INTEGER NOT NULL DEFAULT 0;
ALTER TABLE files ADD COLUMN inode INTEGER NOT NULL DEFAULT 0;
ALTER TABLE paths ADD COLUMN excludes TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 3;
)";

// Version 4 knows what a media file is: its album, album artist, genre,
// composer, year, track and disc numbers and length beside its row, and
// full-text columns for the media fields, the file's name and folders, and
// the other tags (each word after its tag's marker); scripts without spaces
// are split into overlapping pairs by the `trellan_pairs` tokenizer, whose
// version the settings keep. The rows of an older index keep their texts
// and are each filtered again at the next run, so that the new columns
// fill. The exact words hold the four texts alone (a match in the
// properties is never an exact one, which ranks it below the texts'), and
// no sizes of columns: they are matched, never ranked. Both tables merge
// their segments eight at a time, not FTS5's four: a run of 10,000 files
// does 4 % less work, and a search reads a few more pages (ten or twenty,
// of hundreds).
const char* const upgradeToFourSql = R"(
ALTER TABLE files ADD COLUMN album TEXT NOT NULL DEFAULT '';
ALTER TABLE files ADD COLUMN albumartist TEXT NOT NULL DEFAULT '';
ALTER TABLE files ADD COLUMN genre TEXT NOT NULL DEFAULT '';
ALTER TABLE files ADD COLUMN composer TEXT NOT NULL DEFAULT '';
ALTER TABLE files ADD COLUMN year INTEGER NOT NULL DEFAULT 0;
ALTER TABLE files ADD COLUMN track INTEGER NOT NULL DEFAULT 0;
ALTER TABLE files ADD COLUMN disc INTEGER NOT NULL DEFAULT 0;
ALTER TABLE files ADD COLUMN duration INTEGER NOT NULL DEFAULT 0;
CREATE TABLE settings (
    name TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
CREATE VIRTUAL TABLE texts4 USING fts5(title, author, comments, body, album, albumartist, genre, composer, year,
    track, name, folders, tags, tokenize = 'porter trellan_pairs unicode61 remove_diacritics 2');
INSERT INTO texts4 (rowid, title, author, comments, body) SELECT rowid, title, author, comments, body FROM texts;
CREATE VIRTUAL TABLE words4 USING fts5(title, author, comments, body, album, albumartist, genre, composer, year,
    track, name, folders, tags, content = '', columnsize = 0,
    tokenize = 'trellan_pairs unicode61 remove_diacritics 2');
INSERT INTO words4 (rowid, title, author, comments, body) SELECT rowid, title, author, comments, body FROM texts4;
DROP TABLE texts;
DROP TABLE words;
ALTER TABLE texts4 RENAME TO texts;
ALTER TABLE words4 RENAME TO words;
INSERT INTO texts (texts, rank) VALUES ('rank', 'bm25(10.0, 4.0, 4.0, 1.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.2, 0.2, 0.4)');
INSERT INTO texts (texts, rank) VALUES ('automerge', 8);
INSERT INTO words (words, rank) VALUES ('automerge', 8);
UPDATE files SET changed = -1;
PRAGMA user_version = 4;
)";

// A new index: the schema the upgrades below leave an older one in, made in
// one go (the upgrades' tables made, copied, dropped and renamed would cost
// a new index more than its first thousand files). A file's path is its
// folder's path, "/", and its name: folders are stored once. The full-text
// columns hold the title, author, comments and body, then the properties:
// the rank's weights follow their order (FullTextSql makes those tables).
const char* const freshTablesSql = R"(
CREATE TABLE folders (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE
);
CREATE TABLE files (
    id INTEGER PRIMARY KEY,
    folder INTEGER NOT NULL REFERENCES folders (id),
    name TEXT NOT NULL,
    size INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    status TEXT NOT NULL,
    failed INTEGER NOT NULL,
    cause TEXT NOT NULL,
    changed INTEGER NOT NULL DEFAULT 0,
    inode INTEGER NOT NULL DEFAULT 0,
    album TEXT NOT NULL DEFAULT '',
    albumartist TEXT NOT NULL DEFAULT '',
    genre TEXT NOT NULL DEFAULT '',
    composer TEXT NOT NULL DEFAULT '',
    year INTEGER NOT NULL DEFAULT 0,
    track INTEGER NOT NULL DEFAULT 0,
    disc INTEGER NOT NULL DEFAULT 0,
    duration INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started REAL NOT NULL,
    finished REAL,
    complete INTEGER NOT NULL DEFAULT 0,
    added INTEGER NOT NULL DEFAULT 0,
    changed INTEGER NOT NULL DEFAULT 0,
    unchanged INTEGER NOT NULL DEFAULT 0,
    removed INTEGER NOT NULL DEFAULT 0,
    failed INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE paths (
    path TEXT PRIMARY KEY,
    machine TEXT NOT NULL,
    added REAL NOT NULL,
    excludes TEXT NOT NULL DEFAULT ''
);
CREATE TABLE watchers (
    id INTEGER PRIMARY KEY,
    machine TEXT NOT NULL,
    process INTEGER NOT NULL,
    started REAL NOT NULL
);
CREATE INDEX files_by_folder ON files (folder, name);
CREATE TABLE settings (
    name TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
)";

// Letters folded, or words stemmed, by another version: the texts the
// index keeps are split anew, in place; nothing need be filtered again.
#define TRELLAN_SPLIT_ANEW                                                                   \
    "INSERT INTO texts (texts) VALUES ('rebuild');\n"                                        \
    "INSERT INTO words (words) VALUES ('delete-all');\n"                                     \
    "INSERT INTO words (rowid, title, author, comments, body) SELECT rowid, title, author, " \
    "comments, body FROM texts;\n"
const char* const refoldSql = TRELLAN_SPLIT_ANEW;
// Scripts without spaces split by another version of the pairs: the same,
// and every file is filtered again at the next run for the columns the host
// splits itself.
const char* const resplitSql = TRELLAN_SPLIT_ANEW "UPDATE files SET changed = -1;\n";
#undef TRELLAN_SPLIT_ANEW

// The full-text columns, each once, in the order of the field table, with
// what the statements over them need.
struct FullTextColumns {
    std::string names;    // "title, author, ..."
    std::string weights;  // the ranking's weight of each, in that order
    std::string stored;   // their names in the content table: "c0, c1, ..."
    std::string values;   // a parameter each, after the rowid's ?1: "?2, ?3, ..."
};

const FullTextColumns& Columns()
{
    static const FullTextColumns columns = [] {
        FullTextColumns made;
        const std::vector<const Field*>& fields = ColumnFields();
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string separator = i ? ", " : "";
            made.names += separator + fields[i]->column;
            char weight[16];
            std::snprintf(weight, sizeof weight, "%.1f", ClassWeight(fields[i]->weight));
            made.weights += separator + weight;
            made.stored += separator + "c" + std::to_string(i);
            made.values += separator + "?" + std::to_string(i + 2);
        }
        return made;
    }();
    return columns;
}

// The full-text tables under the names `texts` and `words`: the stemmed
// texts, with their ranking and merging, and the exact words (the four
// texts alone: a match in the properties is never an exact one, which
// ranks it below the texts'; no sizes of columns: they are matched, never
// ranked).
std::string FullTextSql(const std::string& texts, const std::string& words)
{
    const FullTextColumns& columns = Columns();
    std::string tokenizer;
    for (const char* word : textsTokenizer)
        tokenizer += (tokenizer.empty() ? "" : " ") + std::string(word);
    return "CREATE VIRTUAL TABLE " + texts + " USING fts5(" + columns.names + ", tokenize = '" + tokenizer + "');\n"
           "CREATE VIRTUAL TABLE " + words + " USING fts5(" + columns.names +
           ", content = '', columnsize = 0, tokenize = 'trellan_pairs unicode61 remove_diacritics 2');\n"
           "INSERT INTO " + texts + " (" + texts + ", rank) VALUES ('rank', 'bm25(" + columns.weights + ")');\n"
           "INSERT INTO " + texts + " (" + texts + ", rank) VALUES ('automerge', 8);\n"
           "INSERT INTO " + words + " (" + words + ", rank) VALUES ('automerge', 8);\n";
}

// Version 6 keeps, beside the texts, what a search of one common word
// reads instead of its every match (index/sqlite/stem_tally.h): each
// token's count of files, and each file's leads. An older index has them
// made from its texts as it is upgraded (TallyAll).
const char* const talliesSql = R"(
CREATE VIRTUAL TABLE leads USING fts5(tokens, content = '', columnsize = 0, detail = none, tokenize = 'trellan_list');
CREATE TABLE terms (
    term TEXT PRIMARY KEY,
    files INTEGER NOT NULL
) WITHOUT ROWID;
)";
// The same emptied, for texts split anew.
const char* const untallySql = "DELETE FROM terms;\nINSERT INTO leads (leads) VALUES ('delete-all');\n";

std::string FreshSql()
{
    return freshTablesSql + FullTextSql("texts", "words") + talliesSql + "PRAGMA user_version = 6;\n";
}

// Version 5 stems English as PostgreSQL does (Snowball's English stemmer,
// not Porter's), gives each character of a script without spaces beside
// its pairs, and has a full-text column for the disc number: the texts the
// index keeps are split anew into new tables, in place; nothing need be
// filtered again.
std::string UpgradeToFiveSql()
{
    return FullTextSql("texts5", "words5") +
           "INSERT INTO texts5 (rowid, title, author, comments, body, album, albumartist, genre, composer, year, "
           "track, disc, name, folders, tags) SELECT kept.id, c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, "
           "iif(files.disc > 0, CAST(files.disc AS TEXT), ''), c10, c11, c12 "
           "FROM texts_content AS kept LEFT JOIN files ON files.id = kept.id;\n"
           "INSERT INTO words5 (rowid, title, author, comments, body) "
           "SELECT rowid, title, author, comments, body FROM texts5;\n"
           "DROP TABLE texts;\n"
           "DROP TABLE words;\n"
           "ALTER TABLE texts5 RENAME TO texts;\n"
           "ALTER TABLE words5 RENAME TO words;\n"
           "PRAGMA user_version = 5;\n";
}

// Records the versions of the pairs, of the folding and of the stemmer the
// texts are split by.
bool RecordSplitting(const Connection& connection)
{
    return Statement(connection, "INSERT INTO settings (name, value) VALUES ('pairs', ?1), ('folding', ?2), "
                                 "('stemmer', ?3) ON CONFLICT (name) DO UPDATE SET value = excluded.value")
        .Bind(1, cjkPairsVersion)
        .Bind(2, letterFoldingVersion)
        .Bind(3, stemmerVersion)
        .Run();
}

// trellan_key(name): the key names sort by.
void SortKeyOf(sqlite3_context* context, int, sqlite3_value** arguments)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    try {
        const std::string key = SortKey(std::string_view(text, sqlite3_value_bytes(arguments[0])));
        sqlite3_result_text(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
}
const SortKeySql sortKeySql = {"trellan_key(@)"};
const Dialect dialect = {'?', "julianday('now')", "folders.path || '/' || files.name", "rowid"};

// What the index's tables and statements need of a connection: the
// tokenizers, the ranking functions and the sort key.
bool RegisterExtensions(sqlite3* db, StemTally* tally)
{
    return RegisterPairTokenizer(db) && RegisterStemTokenizer(db, tally) && RegisterListTokenizer(db) &&
           RegisterRanking(db) &&
           sqlite3_create_function_v2(db, "trellan_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, SortKeyOf, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::int64_t ReadInteger(const Connection& connection, const char* sql)
{
    Statement statement(connection, sql);
    return statement.Step() == SQLITE_ROW ? statement.Integer(0) : -1;
}

// The folder of the default index: the user's local data folder (made if
// need be, with `create`), then "trellan". Empty when it cannot be had.
std::u16string DefaultIndexFolder(bool create)
{
    PWSTR data = nullptr;
    std::u16string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, create ? KF_FLAG_CREATE : 0, nullptr, &data)))
        folder = std::u16string(reinterpret_cast<const char16_t*>(data)) + pathSeparator + u"trellan";
    CoTaskMemFree(data);
    if (create && !folder.empty())
        CreateDirectoryW(reinterpret_cast<LPCWSTR>(folder.c_str()), nullptr);  // there already, or it shows at open
    return folder;
}

// The index's write-ahead log holds pages not yet in the file.
bool LogPending(const std::string& path)
{
    struct stat log {};
    return stat((path + "-wal").c_str(), &log) == 0 && log.st_size > 0;
}

bool FileExists(const std::string& path)
{
    const std::u16string name = FromCodePage(CP_ACP, path);
    return GetFileAttributesW(reinterpret_cast<LPCWSTR>(name.c_str())) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string DefaultIndexPath()
{
    return ToCodePage(CP_ACP, DefaultIndexFolder(false) + pathSeparator + u"index.sqlite");
}

std::string DamageMarkPath(const std::string& index)
{
    return index + ".damaged";
}

SqliteIndex::~SqliteIndex()
{
    if (Damaged())
        MarkDamaged(damageSaid.empty() ? connection.LastError() : damageSaid);
}

void SqliteIndex::MarkDamaged(const std::string& problem)
{
    if (marked || !opened || path == ":memory:")
        return;
    marked = true;
    const std::string line = problem + "\n";
    const int file = ::open(DamageMarkPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return;  // a folder this process may not write: the next run finds the damage itself
    [[maybe_unused]] const ssize_t written = ::write(file, line.data(), line.size());
    ::close(file);
}

bool SqliteIndex::Open(const std::string& location, bool create, std::string& error, bool despiteDamageMark)
{
    path = location;
    if (!despiteDamageMark) {
        // What the mark says (its first line, at most a few hundred bytes).
        const int file = ::open(DamageMarkPath(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (file >= 0) {
            char said[512];
            const ssize_t got = ::read(file, said, sizeof said);
            ::close(file);
            const std::string_view text(said, got > 0 ? static_cast<size_t>(got) : 0);
            damaged = marked = true;
            error = path + damagedAdvice + " (" + std::string(text.substr(0, text.find('\n'))) + ")";
            return false;
        }
    }
    if (create && path == DefaultIndexPath())
        DefaultIndexFolder(true);  // a folder that cannot be made shows as a file that cannot be opened
    if (!connection.Open(path, create)) {
        damaged = (sqlite3_errcode(connection.Get()) & 0xFF) == SQLITE_NOTADB;
        error = damaged ? path + damagedAdvice + " (" + connection.LastError() + ")"
                : create || FileExists(path)
                    ? "cannot open the index " + path + ": " + connection.LastError()
                    : "there is no index at " + path + " (trellan index PATH... makes one)";
        return false;
    }
    sqlite3_busy_timeout(connection.Get(), kBusyTimeoutMilliseconds);
    if (!RegisterExtensions(connection.Get(), &tally)) {
        error = "cannot open the index " + path + ": " + connection.LastError();
        return false;
    }
    // Nothing is copied from the write-ahead log into the file at close
    // unless this process wrote (RunEnded): a damaged index and its log
    // stay as they were, and readers close without waiting for the disk.
    sqlite3_db_config(connection.Get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // A reader's pages are read into a small cache rather than through a
    // map of the file: a search touches a few hundred pages once each, and
    // the fault of a mapped page, or of a page of new memory for a large
    // cache, costs more than reading one into memory already used. A
    // reader's own tables (the hits' texts, for their snippets) are kept
    // in memory, not in a file.
    if (!connection.Execute("PRAGMA journal_mode = WAL") || !connection.Execute("PRAGMA synchronous = NORMAL") ||
        !connection.Execute("PRAGMA mmap_size = 0") || !connection.Execute("PRAGMA cache_size = -512") ||
        (!create && !connection.Execute("PRAGMA temp_store = MEMORY"))) {
        damaged = Damaged();
        const bool readOnly = (sqlite3_errcode(connection.Get()) & 0xFF) == SQLITE_READONLY;
        // An index this process may not write (a read-only share, another
        // user's) is still searched, as it stands, when no log is pending.
        if (!create && readOnly && !LogPending(path) && connection.OpenImmutable(path) &&
            RegisterExtensions(connection.Get(), &tally) &&
            connection.Execute("PRAGMA temp_store = MEMORY") && CreateSchema(false, error))
            return opened = true;
        error = damaged    ? path + damagedAdvice + " (" + connection.LastError() + ")"
                : readOnly ? "the index " + path + " can only be read, not written (" + connection.LastError() + ")"
                           : "cannot open the index " + path + ": " + connection.LastError();
        return false;
    }
    if (!CreateSchema(create, error)) {
        error = path + (error.starts_with(' ') ? "" : " ") + error;
        opened = damaged;  // a damaged index is marked; a file that is no index is not
        return false;
    }
    return opened = true;
}

bool SqliteIndex::CreateSchema(bool create, std::string& error)
{
    std::int64_t version = ReadInteger(connection, "PRAGMA user_version");
    if (version < 0 && Damaged()) {
        error = std::string(damagedAdvice) + " (" + connection.LastError() + ")";
        return false;
    }
    if (version > kSchemaVersion) {
        error = "is an index of schema version " + std::to_string(version) + ", of a newer Trellan; this one reads " +
                "version " + std::to_string(kSchemaVersion);
        return false;
    }
    // A run that will write looks at the index first: a damaged one is
    // never written into, not even to upgrade it.
    if (create && version > 0 && !CheckBeforeWriting(error)) {
        if (damaged)
            error = std::string(damagedAdvice) + " (" + error + ")";
        return false;
    }
    if (version == kSchemaVersion)
        return !create || SplitAsNow(error);
    platform::sqlite::WriteTransaction made(connection);
    if (!made.Begun()) {
        error = "cannot be written: " + connection.LastError();
        return false;
    }
    // Read again inside the transaction: another process may have just made it.
    version = ReadInteger(connection, "PRAGMA user_version");
    if (version == kSchemaVersion)
        return made.Commit() && SplitAsNow(error);
    const std::int64_t tables = version == 0 ? ReadInteger(connection, "SELECT count(*) FROM sqlite_schema") : 0;
    const bool fresh = version == 0 && tables == 0;
    if (!fresh && (version < 1 || version > 5)) {
        error = Damaged()       ? std::string(damagedAdvice) + " (" + connection.LastError() + ")"
                : version < 0 || tables < 0 ? "cannot be read: " + connection.LastError()
                              : "is not a Trellan index";
        return false;
    }
    const bool built = fresh ? connection.Execute(FreshSql().c_str())
                             : (version >= 2 || connection.Execute(upgradeSql)) &&
                                   (version >= 3 || connection.Execute(upgradeToThreeSql)) &&
                                   (version >= 4 || connection.Execute(upgradeToFourSql)) &&
                                   (version >= 5 || connection.Execute(UpgradeToFiveSql().c_str())) &&
                                   connection.Execute(talliesSql) && TallyAll() &&
                                   connection.Execute("PRAGMA user_version = 6");
    if (!built || !RecordSplitting(connection) || !made.Commit()) {
        error = (fresh ? "cannot be made into an index: "
                       : "cannot be upgraded from schema version " + std::to_string(version) + ": ") +
                connection.LastError();
        return false;
    }
    return true;
}

SqliteIndex::Splitting SqliteIndex::SplitBy() const
{
    if (ReadInteger(connection, "SELECT value FROM settings WHERE name = 'pairs'") != cjkPairsVersion)
        return Splitting::otherPairs;
    if (ReadInteger(connection, "SELECT value FROM settings WHERE name = 'folding'") != letterFoldingVersion ||
        ReadInteger(connection, "SELECT value FROM settings WHERE name = 'stemmer'") != stemmerVersion)
        return Splitting::otherFolding;
    return Splitting::now;
}

bool SqliteIndex::SplitAsNow(std::string& error)
{
    const Splitting splitting = SplitBy();
    if (splitting == Splitting::now)
        return true;
    platform::sqlite::WriteTransaction resplit(connection);
    if (resplit.Begun() && connection.Execute(splitting == Splitting::otherFolding ? refoldSql : resplitSql) &&
        connection.Execute(untallySql) && TallyAll() && RecordSplitting(connection) && resplit.Commit())
        return true;
    error = "cannot split its texts anew: " + connection.LastError();
    return false;
}

bool SqliteIndex::CheckBeforeWriting(std::string& error)
{
    // The pages and their structure (a tenth of a second at 200,000 files);
    // the full-text tables too where the last run was cut short, since
    // their pages may have been left half-written by a failing disk.
    Statement check(connection, "PRAGMA quick_check(1)");
    const int read = check.Step();
    const bool sound = read == SQLITE_ROW && check.Text(0) == "ok";
    std::string problem = read == SQLITE_ROW ? std::string(check.Text(0)) : connection.LastError();
    check.Reset();
    bool ftsSound = true;
    // (Texts split by another version are split anew next, and would not
    // match what this version makes of them.)
    if (sound && ReadInteger(connection, "SELECT count(*) FROM runs WHERE finished IS NULL AND "
                                         "id = (SELECT max(id) FROM runs)") > 0 &&
        SplitBy() == Splitting::now)
        ftsSound = FullTextSound(problem);
    if (sound && ftsSound)
        return true;
    if (read != SQLITE_ROW && !Damaged()) {
        error = "cannot be read: " + problem;
        return false;
    }
    damaged = true;
    damageSaid = error = problem;
    opened = true;
    MarkDamaged(problem);
    return false;
}

Outcome SqliteIndex::CheckSound()
{
    std::string problem;
    if (CheckBeforeWriting(problem))
        return Done();
    return {damaged ? OutcomeKind::damaged : OutcomeKind::other, problem};
}

bool SqliteIndex::Damaged() const
{
    const int code = connection.Get() ? sqlite3_errcode(connection.Get()) & 0xFF : SQLITE_OK;
    return damaged || code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

Outcome SqliteIndex::Failed() const
{
    // Damage is remembered as it is reported: a rollback after it clears
    // the connection's error.
    const int code = connection.Get() ? sqlite3_errcode(connection.Get()) & 0xFF : SQLITE_OK;
    if (std::exchange(tallyShort, false))
        return {OutcomeKind::memory, "out of memory"};
    if (Damaged()) {
        damaged = true;
        if (damageSaid.empty() || code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
            damageSaid = connection.LastError();
        return {OutcomeKind::damaged, damageSaid};
    }
    OutcomeKind kind = OutcomeKind::other;
    switch (code) {
    case SQLITE_NOMEM:
        kind = OutcomeKind::memory;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        kind = OutcomeKind::locked;
        break;
    case SQLITE_FULL:
        kind = OutcomeKind::full;
        break;
    case SQLITE_CONSTRAINT:
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
        kind = OutcomeKind::refused;
        break;
    }
    return {kind, connection.LastError()};
}

Statement& SqliteIndex::Cached(std::unique_ptr<Statement>& slot, const char* sql)
{
    if (!slot)
        slot = std::make_unique<Statement>(connection, sql);
    return *slot;
}

namespace {

// A file's row as a run knows it: its id, name, stamp and last failure.
const std::string& KnownFilesSql()
{
    static const std::string sql = std::string("SELECT id, name, size, modified, changed, inode, failed, status IN ") +
                                   filterDownStatuses + ", " + failureTextSql + " FROM files WHERE folder = ?1";
    return sql;
}

KnownFile KnownFileOf(const Statement& files)
{
    return {files.Integer(0), {files.Integer(2), files.Integer(3), files.Integer(4), files.Integer(5)},
            files.Integer(6) != 0, files.Integer(7) != 0,
            files.Integer(6) != 0 ? FailureFingerprint(files.Text(8)) : 0u};
}

// Reads what the index holds on a connection of its own, beside the run's.
class SqliteKnownFolders final : public KnownFolders {
public:
    SqliteKnownFolders(std::unique_ptr<SqliteIndex> index, std::int64_t newest)
        : index(std::move(index)), newest(newest)
    {
    }
    Outcome Load(std::string_view folder, std::int64_t& id, const KnowFile& know) override
    {
        return index->LoadKnownFolder(folder, id, know);
    }
    Outcome LoadOthers(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                       const KnowFile& know) override
    {
        return index->LoadKnownFilesExcept(scope, skipped, newest, know);
    }

private:
    const std::unique_ptr<SqliteIndex> index;
    // The last folder row before the run: the rows after it are the run's
    // own, of folders it walked.
    const std::int64_t newest;
};

}  // namespace

Outcome SqliteIndex::LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know)
{
    return LoadKnownFilesExcept(scope, {}, INT64_MAX, know);
}

Outcome SqliteIndex::LoadKnownFilesExcept(const std::vector<std::string>& scope,
                                          const std::vector<std::int64_t>& skipped, std::int64_t newest,
                                          const KnowFile& know)
{
    // A path's own folder row (a file given by name), then the folders from
    // it down, found through the folders' index by range: '0' follows '/'.
    Statement folders(connection, "SELECT id, path FROM folders WHERE path = ?1 OR path = ?2 OR "
                                  "(path >= ?3 AND path < ?4)");
    Statement files(connection, KnownFilesSql().c_str());
    for (const std::string& root : scope) {
        const auto [parent, name] = SplitPath(root);
        const auto [from, to] = PathsBelow(root);
        folders.BindText(1, root).BindText(2, parent).BindText(3, from).BindText(4, to);
        int foldersRead;
        std::vector<std::pair<std::int64_t, std::string>> found;
        while ((foldersRead = folders.Step()) == SQLITE_ROW)
            if (folders.Integer(0) <= newest && !std::binary_search(skipped.begin(), skipped.end(), folders.Integer(0)))
                found.emplace_back(folders.Integer(0), std::string(folders.Text(1)));
        if (foldersRead != SQLITE_DONE)
            return Failed();
        for (const auto& [id, folder] : found) {
            RememberFolder(folder, id);
            const bool parentOnly = folder == parent && folder != root;
            files.Bind(1, id);
            int filesRead;
            while ((filesRead = files.Step()) == SQLITE_ROW)
                if (!parentOnly || files.Text(1) == name)
                    know(folder, files.Text(1), KnownFileOf(files));
            if (filesRead != SQLITE_DONE)
                return Failed();
        }
    }
    return Done();
}

Outcome SqliteIndex::LoadKnownFolder(std::string_view folder, std::int64_t& id, const KnowFile& know)
{
    id = 0;
    Statement& row = Cached(folderRowStatement, "SELECT id FROM folders WHERE path = ?1");
    row.BindText(1, folder);
    int read = row.Step();
    if (read == SQLITE_ROW)
        id = row.Integer(0);
    row.Reset();
    if (read != SQLITE_ROW)
        return Said(read == SQLITE_DONE);  // none: a folder new to the index
    Statement& files = Cached(folderFilesStatement, KnownFilesSql().c_str());
    files.Bind(1, id);
    while ((read = files.Step()) == SQLITE_ROW)
        know(folder, files.Text(1), KnownFileOf(files));
    files.Reset();
    return Said(read == SQLITE_DONE);
}

std::unique_ptr<KnownFolders> SqliteIndex::ReadKnownFolders()
{
    // A connection of its own sees only what the run has committed, and
    // the run reads a folder before it writes a file of it.
    auto reader = std::make_unique<SqliteIndex>();
    std::string error;
    if (path.empty() || path == ":memory:" || !reader->Open(path, false, error))
        return nullptr;
    Statement newest(reader->connection, "SELECT coalesce(max(id), 0) FROM folders");
    if (newest.Step() != SQLITE_ROW)
        return nullptr;
    return std::make_unique<SqliteKnownFolders>(std::move(reader), newest.Integer(0));
}

std::int64_t SqliteIndex::FolderId(const std::string& folder)
{
    if (auto known = folderIds.find(folder); known != folderIds.end())
        return known->second;
    // Looked up, then inserted: a statement that may change a row it finds
    // (an upsert) takes a savepoint, at which FTS5 writes out every text
    // it holds so far, a segment that it must merge later; with a new
    // folder every hundred files, that was 8 % of a run of 10,000.
    Statement& find = Cached(findFolder, "SELECT id FROM folders WHERE path = ?1");
    const int found = find.BindText(1, folder).Step();
    std::int64_t id = found == SQLITE_ROW ? find.Integer(0) : 0;
    find.Reset();
    if (found == SQLITE_DONE) {
        if (!Cached(insertFolder, "INSERT INTO folders (path) VALUES (?1)").BindText(1, folder).Run())
            return 0;
        id = sqlite3_last_insert_rowid(connection.Get());
    }
    if (id)
        RememberFolder(folder, id);
    return id;
}

void SqliteIndex::RememberFolder(const std::string& folder, std::int64_t id)
{
    if (folderIds.size() >= kRememberedFolders)
        folderIds.clear();
    folderIds.emplace(folder, id);
}

Outcome SqliteIndex::Begin()
{
    transaction.emplace(connection);
    if (transaction->Begun())
        return Done();
    const Outcome failed = Failed();
    transaction.reset();
    return failed;
}

Outcome SqliteIndex::Commit()
{
    if (!transaction)
        return {OutcomeKind::other, "no transaction is open"};
    bool memoryShort = false;
    const bool committed = counts.BeforeCommit(tally.Changes(), memoryShort) && transaction->Commit();
    if (counts.AfterCommit(committed))
        tally.Forget();
    if (!committed) {
        tallyShort = memoryShort;
        return Failed();
    }
    transaction.reset();
    return Done();
}

void SqliteIndex::Rollback()
{
    transaction.reset();
    if (counts.AfterCommit(false))
        tally.Forget();
    folderIds.clear();  // the folder rows it made are gone
}

namespace {

// Binds what a run learns of a file (size, times, file number, status,
// failed, cause, and the properties) to the parameters ?3 to ?17; ?1 and ?2
// say which file.
Statement& BindFileState(Statement& statement, const IndexEntry& entry)
{
    return statement.Bind(3, entry.stamp.size)
        .Bind(4, entry.stamp.modified)
        .BindKeptText(5, entry.status)
        .Bind(6, entry.failed ? 1 : 0)
        .BindKeptText(7, entry.cause)
        .Bind(8, entry.stamp.changed)
        .Bind(9, entry.stamp.inode)
        .BindKeptText(10, entry.media.album)
        .BindKeptText(11, entry.media.albumArtist)
        .BindKeptText(12, entry.media.genre)
        .BindKeptText(13, entry.media.composer)
        .Bind(14, entry.media.year)
        .Bind(15, entry.media.track)
        .Bind(16, entry.media.disc)
        .Bind(17, entry.media.duration);
}

Statement& BindTexts(Statement& statement, std::int64_t id, const IndexEntry& entry)
{
    return statement.Bind(1, id)
        .BindKeptText(2, entry.title)
        .BindKeptText(3, entry.author)
        .BindKeptText(4, entry.comments)
        .BindKeptText(5, entry.body);
}

// The full-text columns of a file's properties, made from its entry, in
// the order of the field table: each property's words, the file's name, its
// folders' names and its tags.
struct PropertyTexts {
    explicit PropertyTexts(const IndexEntry& entry)
    {
        const FileNames names = NamesOf(entry.path);
        for (const Field* each : ColumnFields()) {
            const Field& field = *each;
            if (field.kind == FieldKind::text)
                continue;
            const std::string_view column = field.column;
            texts.push_back(field.propertyText || field.propertyNumber ? PropertyText(field, entry.media)
                            : column == "name"                         ? names.name
                            : column == "folders"                      ? names.folders
                                                                       : TagWords(entry.media));
        }
    }
    // Binds them, as they are kept here, to ?6 on.
    Statement& Bind(Statement& statement) const
    {
        for (size_t i = 0; i < texts.size(); ++i)
            statement.BindKeptText(6 + int(i), texts[i]);
        return statement;
    }

    std::vector<std::string> texts;
};

}  // namespace

bool SqliteIndex::RemoveWords(std::int64_t id)
{
    // A contentless table forgets a row given the texts it indexed.
    Statement& read = Cached(readText, "SELECT title, author, comments, body FROM texts WHERE rowid = ?1");
    if (read.Bind(1, id).Step() != SQLITE_ROW)
        return true;
    IndexEntry old;
    old.title = read.Text(0), old.author = read.Text(1), old.comments = read.Text(2), old.body = read.Text(3);
    const std::array<bool, kLeadColumns> present = {!read.Null(0), !read.Null(1), !read.Null(2)};
    read.Reset();
    if (!BindTexts(Cached(deleteWords, "INSERT INTO words (words, rowid, title, author, comments, body) "
                                       "VALUES ('delete', ?1, ?2, ?3, ?4, ?5)"),
                   id, old)
             .Run())
        return false;
    // FTS5 splits the old texts again to take them out: the tally hears them.
    tally.BeginRow(-1, present);
    const bool deleted = Cached(deleteText, "DELETE FROM texts WHERE rowid = ?1").Bind(1, id).Run();
    return TallyRow(id, deleted, -1);
}

bool SqliteIndex::TallyRow(std::int64_t id, bool written, std::int64_t sign)
{
    if (!written) {
        tally.DropRow();  // the statement failed: it changed nothing
        return false;
    }
    if (!tally.EndRow(leadsOfRow)) {
        tallyShort = true;  // the batch fails as short of memory
        return false;
    }
    if (!leadsOfRow.empty() &&
        !(sign > 0 ? Cached(insertLeads, "INSERT INTO leads (rowid, tokens) VALUES (?1, ?2)")
                   : Cached(deleteLeads, "INSERT INTO leads (leads, rowid, tokens) VALUES ('delete', ?1, ?2)"))
             .Bind(1, id)
             .BindKeptText(2, leadsOfRow)
             .Run())
        return false;
    // Outside a transaction each change is its own: the counts go with it.
    return !sqlite3_get_autocommit(connection.Get()) || WriteTally();
}

bool SqliteIndex::WriteTally()
{
    bool memoryShort = false;
    const bool written = counts.Write(tally.Changes(), memoryShort);
    tally.Forget();
    tallyShort = memoryShort;
    return written;
}

bool SqliteIndex::TallyAll()
{
    // Each stored row split again as FTS5 split it, column by column (but
    // for those without text, which FTS5 skips too).
    const TextSplitter splitter(connection.Get());
    if (!splitter.Valid())
        return false;
    std::string columns;
    for (size_t i = 0; i < ColumnFields().size(); ++i)
        columns += ", c" + std::to_string(i);
    Statement rows(connection, ("SELECT id" + columns + " FROM texts_content").c_str());
    const auto none = [](void*, int, const char*, int, int, int) { return SQLITE_OK; };
    int read;
    while ((read = rows.Step()) == SQLITE_ROW) {
        std::array<bool, kLeadColumns> present{};
        for (int lead = 0; lead < kLeadColumns; ++lead)
            present[size_t(lead)] = !rows.Null(1 + lead);
        tally.BeginRow(1, present);
        bool split = true;
        for (int column = 1; split && column <= int(ColumnFields().size()); ++column)
            if (!rows.Null(column))
                split = splitter.Split(FTS5_TOKENIZE_DOCUMENT, rows.Text(column), nullptr, none) == SQLITE_OK;
        if (!TallyRow(rows.Integer(0), split, 1))
            return false;
    }
    return read == SQLITE_DONE && WriteTally();
}

Outcome SqliteIndex::Store(const IndexEntry& entry, std::int64_t knownId)
{
    return Said(StoreRows(entry, knownId));
}

bool SqliteIndex::StoreRows(const IndexEntry& entry, std::int64_t knownId)
{
    std::int64_t id = knownId;
    if (id) {
        if (!BindFileState(Cached(updateFile, bookkeeping::updateFile), entry).Bind(1, id).Bind(2, entry.keep ? 1 : 0).Run())
            return false;
    } else {
        const auto [folderPath, name] = SplitPath(entry.path);
        const std::int64_t folder = FolderId(folderPath);
        if (!folder || !BindFileState(Cached(insertFile, bookkeeping::insertFile), entry)
                            .Bind(1, folder)
                            .BindText(2, name)
                            .Run())
            return false;
        id = sqlite3_last_insert_rowid(connection.Get());
    }
    // The texts under the file's id: a file the index held loses its old
    // ones first; a file that failed gets none, but for one that failed
    // for a reason outside it, which keeps what it had.
    if (entry.keep)
        return true;
    if (knownId && !RemoveWords(id))
        return false;
    if (entry.failed)
        return true;
    static const std::string insertTextSql =
        "INSERT INTO texts (rowid, " + Columns().names + ") VALUES (?1, " + Columns().values + ")";
    const PropertyTexts properties(entry);
    tally.BeginRow(1, {true, true, true});  // every column is bound a text
    const bool inserted = properties.Bind(BindTexts(Cached(insertText, insertTextSql.c_str()), id, entry)).Run();
    return TallyRow(id, inserted, 1) &&
           BindTexts(Cached(insertWords, "INSERT INTO words (rowid, title, author, comments, body) "
                                         "VALUES (?1, ?2, ?3, ?4, ?5)"),
                     id, entry)
               .Run();
}

Outcome SqliteIndex::Remove(std::int64_t id)
{
    return Said(RemoveWords(id) && Cached(deleteFile, bookkeeping::removeFile).Bind(1, id).Run());
}

Outcome SqliteIndex::RemoveUnder(const std::string& under)
{
    std::vector<std::int64_t> ids;
    Outcome removed = LoadKnownFiles({under}, [&](std::string_view, std::string_view, const KnownFile& file) {
        ids.push_back(file.id);
    });
    for (size_t i = 0; removed && i < ids.size(); ++i)
        removed = Remove(ids[i]);
    return removed;
}

Outcome SqliteIndex::RemoveEmptyFolders()
{
    folderIds.clear();
    return Said(connection.Execute("DELETE FROM folders WHERE id NOT IN (SELECT folder FROM files)"));
}

Outcome SqliteIndex::ReadPaths(std::vector<CoveredPath>& paths)
{
    Statement statement(connection, bookkeeping::readPaths);
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        paths.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)), SplitLines(statement.Text(2))});
    return Said(read == SQLITE_DONE);
}

Outcome SqliteIndex::InsertPath(const CoveredPath& added)
{
    static const std::string sql = Spoken(bookkeeping::insertPath, dialect);
    return Said(Statement(connection, sql.c_str())
                    .BindText(1, added.path)
                    .BindText(2, added.machine)
                    .BindText(3, JoinLines(added.excludes))
                    .Run());
}

Outcome SqliteIndex::SetExcludes(const CoveredPath& path)
{
    return Said(Statement(connection, bookkeeping::setExcludes)
                    .BindText(1, path.path)
                    .BindText(2, JoinLines(path.excludes))
                    .Run());
}

Outcome SqliteIndex::DropPath(const std::string& dropped, bool& wasThere)
{
    Statement statement(connection, bookkeeping::dropPath);
    const int read = statement.BindText(1, dropped).Step();
    wasThere = read == SQLITE_ROW;
    return Said(read == SQLITE_DONE || (read == SQLITE_ROW && statement.Run()));
}

Outcome SqliteIndex::LockForRun(const std::vector<std::string>&)
{
    // An exclusive transaction on a companion file (kept empty: no journal),
    // held until the index is closed; the system lets it go when the process
    // ends, however it ends. One run at a time, whatever its paths. Two runs
    // that start at once each hold a shared lock for a moment on the way to
    // the exclusive one: without a short wait both would be refused.
    if (lockPath.empty())
        lockPath = path + "-lock";
    if (!runLock.Open(lockPath, true) ||
        sqlite3_busy_timeout(runLock.Get(), kRunLockWaitMilliseconds) != SQLITE_OK ||
        !runLock.Execute("PRAGMA journal_mode = OFF") || !runLock.Execute("BEGIN EXCLUSIVE")) {
        if (runLock.Get() && sqlite3_errcode(runLock.Get()) == SQLITE_BUSY)
            return {OutcomeKind::locked, "another trellan index is running on " + lockPath.substr(0, lockPath.size() - 5)};
        return {OutcomeKind::other, "cannot lock " + lockPath + ": " + runLock.LastError()};
    }
    // The run is the only writer: a write-ahead log that is copied into the
    // file less often while it runs (a page written many times is copied
    // once); closing the index copies the rest. A page cache of SQLite's
    // usual 2 MB, no larger: a run writes mostly new pages, read again
    // seldom, and each page of a larger cache is new memory to fault in
    // (a 32 MB cache made a run of 10,000 files 6 % dearer, and one of
    // 200,000 no faster, with 31 MB more memory).
    // Settings of speed alone: where one cannot be made, the run goes on
    // without it (a fault of the index shows again at its first write).
    connection.Execute("PRAGMA cache_size = -2000");
    connection.Execute("PRAGMA wal_autocheckpoint = 4000");
    return Done();
}

Outcome SqliteIndex::StartRun(std::int64_t& run)
{
    if (!counts.CountIfBehind())
        return Failed();
    counts.RunStarted();
    Statement statement(connection, "INSERT INTO runs (started) VALUES (julianday('now')) RETURNING id");
    if (statement.Step() != SQLITE_ROW)
        return Failed();
    run = statement.Integer(0);
    return Said(statement.Run());
}

Outcome SqliteIndex::FinishRun(std::int64_t run, const RunCounts& counts, bool complete)
{
    // Counts it could not write are counted again by the next run.
    bool memoryShort = false;
    (void)this->counts.RunEnded(tally.Changes(), memoryShort);
    tally.Forget();
    static const std::string sql = Spoken(bookkeeping::finishRun, dialect);
    return Said(Statement(connection, sql.c_str())
                    .Bind(1, run)
                    .Bind(2, complete ? 1 : 0)
                    .Bind(3, counts.added)
                    .Bind(4, counts.changed)
                    .Bind(5, counts.unchanged)
                    .Bind(6, counts.removed)
                    .Bind(7, counts.failed)
                    .Run());
}

Outcome SqliteIndex::ReadLastRun(LastRun& run)
{
    Statement statement(connection,
                        "SELECT datetime(started, 'localtime'), ifnull(datetime(finished, 'localtime'), ''), "
                        "complete, (ifnull(finished, started) - started) * 86400, added, changed, unchanged, "
                        "removed, failed FROM runs ORDER BY id DESC LIMIT 1");
    const int read = statement.Step();
    run.exists = read == SQLITE_ROW;
    if (run.exists) {
        run.started = statement.Text(0);
        run.finished = statement.Integer(2) ? statement.Text(1) : std::string_view();
        run.seconds = statement.Real(3);
        run.counts = {statement.Integer(4), statement.Integer(5), statement.Integer(6), statement.Integer(7),
                      statement.Integer(8)};
    }
    return Said(read == SQLITE_ROW || read == SQLITE_DONE);
}

Outcome SqliteIndex::StartWatching()
{
    if (!counts.CountIfBehind())
        return Failed();
    static const std::string sql = Spoken(bookkeeping::startWatching, dialect);
    Statement statement(connection, sql.c_str());
    if (statement.BindText(1, MachineName()).Bind(2, getpid()).Step() != SQLITE_ROW)
        return Failed();
    watcherRow = statement.Integer(0);
    return Said(statement.Run());
}

Outcome SqliteIndex::StopWatching()
{
    const bool stopped = !watcherRow || Statement(connection, bookkeeping::stopWatching).Bind(1, watcherRow).Run();
    watcherRow = 0;
    return Said(stopped);
}

Outcome SqliteIndex::ReadWatchers(std::vector<RunningWatcher>& watchers)
{
    // A watcher holds the run lock for as long as it runs: when the lock is
    // free, or its process is gone from this machine, the row is left over
    // from a watcher that was killed.
    Connection probe;
    bool lockFree = probe.Open(lockPath.empty() ? path + "-lock" : lockPath, false) && probe.Execute("PRAGMA journal_mode = OFF") &&
                    probe.Execute("BEGIN EXCLUSIVE");
    Statement statement(connection,
                        "SELECT machine, process, datetime(started, 'localtime') FROM watchers ORDER BY id");
    int read;
    const std::string machine = MachineName();
    while ((read = statement.Step()) == SQLITE_ROW) {
        const bool here = statement.Text(0) == machine;
        if (lockFree || (here && kill(static_cast<pid_t>(statement.Integer(1)), 0) != 0 && errno == ESRCH))
            continue;
        watchers.push_back({std::string(statement.Text(0)), statement.Integer(1), std::string(statement.Text(2))});
    }
    return Said(read == SQLITE_DONE);
}

Outcome SqliteIndex::CountByStatus(std::vector<StatusCount>& counts)
{
    Statement statement(connection, bookkeeping::countByStatus);
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        counts.push_back({std::string(statement.Text(0)), statement.Integer(1)});
    return Said(read == SQLITE_DONE);
}

Outcome SqliteIndex::ListFailures(std::vector<FailedFile>& files)
{
    static const std::string sql = Spoken(bookkeeping::listFailures, dialect);
    Statement statement(connection, sql.c_str());
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        files.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)),
                         std::string(statement.Text(2)), statement.Integer(3) != 0});
    return Said(read == SQLITE_DONE);
}

bool SqliteIndex::FullTextSound(std::string& problem)
{
    if (connection.Execute("INSERT INTO texts (texts, rank) VALUES ('integrity-check', 1)") &&
        connection.Execute("INSERT INTO words (words, rank) VALUES ('integrity-check', 0)") &&
        connection.Execute("INSERT INTO leads (leads, rank) VALUES ('integrity-check', 0)"))
        return true;
    problem = connection.LastError();
    return false;
}

Outcome SqliteIndex::CheckIntegrity()
{
    std::string problem;
    return Said(FullTextSound(problem));  // a text that does not match is damage, as SQLite's code says
}

namespace {

// The place filters on `folders` and `files`; '0' follows '/'.
const PlaceSql placeSql = {
    "folders.path || '/' || files.name = @",
    "(folders.path = @ OR (folders.path >= @ || '/' AND folders.path < @ || '0'))",
    "lower(substr(files.name, -length(@) - 1)) = '.' || lower(@)",
    '?',
};

// One read transaction over the statements of a search, so that its count
// and its hits come from one state of the index.
class ReadSnapshot {
public:
    explicit ReadSnapshot(Connection& connection)
        : connection(connection), begun(sqlite3_get_autocommit(connection.Get()) && connection.Execute("BEGIN"))
    {
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    ~ReadSnapshot()
    {
        if (begun)
            connection.Execute("COMMIT");
    }

private:
    Connection& connection;
    bool begun;
};

// Keeps the matches as good as the `limit`th best, ties included (every
// match when the limit is 0 or more than there are). `tied` gets the ids
// of those that tie with the last one kept, sorted, when they are more
// than the limit needs of them.
void KeepBest(std::vector<RankedMatch>& matches, std::int64_t limit, std::vector<std::int64_t>& tied)
{
    if (limit <= 0 || std::int64_t(matches.size()) <= limit)
        return;
    const RankedMatch last = CutToBest(matches, limit);
    if (std::int64_t(matches.size()) == limit)
        return;
    for (const RankedMatch& match : matches)
        if (!RanksBefore(match, last))
            tied.push_back(match.id);
    std::sort(tied.begin(), tied.end());
}

// The matches as a JSON array of [id, exact, rank] for json_each.
std::string AsJson(const std::vector<RankedMatch>& matches)
{
    std::string json = "[";
    char number[32];
    for (const RankedMatch& match : matches) {
        json += json.size() > 1 ? ",[" : "[";
        json.append(number, std::to_chars(number, number + sizeof number, match.id).ptr);
        json += match.exact ? ",1," : ",0,";
        json.append(number, std::to_chars(number, number + sizeof number, match.rank).ptr);
        json += ']';
    }
    return json + "]";
}

// The term of a query of one word in every column, or null.
const QueryNode* OneWord(const QueryNode& node)
{
    const QueryNode* at = &node;
    while ((at->kind == QueryNode::Kind::all || at->kind == QueryNode::Kind::any) && at->children.size() == 1 &&
           at->excluded.empty())
        at = &at->children.front();
    return at->kind == QueryNode::Kind::term && !at->field && !at->prefix ? at : nullptr;
}

}  // namespace

SqliteIndex::Matching SqliteIndex::Rendered(const Query* query)
{
    static const std::vector<PlaceFilter> nowhere;
    if (!query)
        return {std::string(), nowhere};
    bool fields = false;
    ForEachTerm(query->words, [&fields](const QueryNode& term, bool) { fields = fields || term.field; });
    return {query->HasWords() ? Fts5Match(query->words) : std::string(), query->places, fields};
}

std::string SqliteIndex::MatchesSql(const Matching& query) const
{
    // The files the query matches, with files whose exact words match
    // marked (ranked above those that match by stem alone: their ids are
    // bound to ?5 as a set) and their rank, as PostgreSQL's index ranks
    // them too.
    const std::string places = PlaceConditions(query.places, 6, placeSql);
    // Without words, the files the places hold that have texts: looked up
    // in the table of their sizes, which FTS5 keeps a row in for each row
    // of texts, two hundred to a page (the texts' own table holds ten to a
    // page), a tenth of the cost of asking the full-text table.
    if (query.fts5.empty())
        return "SELECT files.id AS id, 0 AS exact, 0.0 AS rank FROM files JOIN folders ON folders.id = files.folder "
               "WHERE 1" + places + " AND EXISTS (SELECT 1 FROM texts_docsize WHERE texts_docsize.id = files.id)";
    return "SELECT rowid AS id, trellan_rank(texts) AS rank, trellan_among(rowid, ?5) AS exact FROM texts "
           "WHERE texts MATCH ?1" +
           (places.empty() ? std::string()
                           : " AND texts.rowid IN (SELECT files.id FROM files JOIN folders ON folders.id = "
                             "files.folder WHERE 1" + places + ")");
}

void SqliteIndex::BindMatches(Statement& statement, const Matching& query) const
{
    statement.BindText(1, query.fts5);
    for (size_t i = 0; i < query.places.size(); ++i)
        statement.BindText(6 + int(i), query.places[i].value);
}

bool SqliteIndex::FirstByPath(const std::vector<std::int64_t>& ids, size_t count, std::vector<std::int64_t>& first)
{
    // A path is its folder's path, "/" and its name, so the folders in the
    // order of their paths with a "/" after them, each one's files in the
    // order of their names, come in the order of their paths but for the
    // files of a folder below another, which may come before some of the
    // other's: the best `count` so far are kept, and the walk ends at the
    // first folder whose every path comes after the worst of them.
    // The prefixes lie end to end in one string: a library has tens of
    // thousands of folders, and a string each cost a third of the search.
    struct Folder {
        size_t at, length;  // its path and "/", in `prefixes`
        std::int64_t id;
    };
    std::string prefixes;
    std::vector<Folder> folders;
    Statement listed(connection, "SELECT path, id FROM folders");
    int read;
    while ((read = listed.Step()) == SQLITE_ROW) {
        const std::string_view path = listed.Text(0);
        folders.push_back({prefixes.size(), path.size() + 1, listed.Integer(1)});
        prefixes.append(path).push_back('/');
    }
    if (read != SQLITE_DONE)
        return false;
    const auto prefixOf = [&prefixes](const Folder& folder) {
        return std::string_view(prefixes).substr(folder.at, folder.length);
    };
    std::sort(folders.begin(), folders.end(),
              [&](const Folder& a, const Folder& b) { return prefixOf(a) < prefixOf(b); });
    using Kept = std::pair<std::string, std::int64_t>;  // path, id; the worst on top
    std::priority_queue<Kept> best;
    Statement files(connection, "SELECT id, name FROM files WHERE folder = ?1 ORDER BY name");
    // A file read here costs a tenth of a file looked up by its id: beyond
    // four reads a tied file, the caller's lookups cost less.
    size_t budget = 4 * ids.size();
    for (const Folder& folder : folders) {
        const std::string_view prefix = prefixOf(folder);
        if (best.size() == count && prefix > best.top().first)
            break;
        files.Bind(1, folder.id);
        while ((read = files.Step()) == SQLITE_ROW && budget-- > 0) {
            const std::int64_t id = files.Integer(0);
            if (!std::binary_search(ids.begin(), ids.end(), id))
                continue;
            std::string path = std::string(prefix) + std::string(files.Text(1));
            if (best.size() < count) {
                best.emplace(std::move(path), id);
            } else if (path < best.top().first) {
                best.pop();
                best.emplace(std::move(path), id);
            }
        }
        if (read != SQLITE_DONE)
            return false;
    }
    for (; !best.empty(); best.pop())
        first.push_back(best.top().second);
    return true;
}

std::string SqliteIndex::RankedPage(const Matching& query, std::int64_t limit, const SortedIds& exact,
                                    std::int64_t& total, int& read)
{
    // Each match with its id, rank and exact mark alone; only those as good
    // as the limit's last one (more where ranks tie) are kept, for SQL to
    // join to their files and order the ties by path. Many files that tie
    // (a genre, a year, a folder: every file of it ranks alike) are cut to
    // the limit here, in the order of their paths, where joining each to
    // its path would cost most of the search.
    BestMatches best(limit);
    bool scanned = false;
    if (!query.fts5.empty() && query.places.empty()) {
        // A query of one phrase, in one call (a query of none matches nothing).
        Statement scan(connection, "SELECT trellan_scan(texts, ?2, ?3) FROM texts WHERE texts MATCH ?1 LIMIT 1");
        scan.BindText(1, query.fts5).BindPointer(2, &exact, idsPointerType).BindPointer(3, &best, bestPointerType);
        read = scan.Step();
        scanned = read == SQLITE_DONE || (read == SQLITE_ROW && scan.Integer(0) == 1);
        if (read == SQLITE_ROW)
            read = SQLITE_DONE;
    }
    if (!scanned && read == SQLITE_DONE) {
        Statement all(connection, ("SELECT id, rank, exact FROM (" + MatchesSql(query) + ")").c_str());
        BindMatches(all, query);
        all.BindPointer(5, &exact, idsPointerType);
        while ((read = all.Step()) == SQLITE_ROW)
            best.Add({all.Integer(0), all.Real(1), all.Integer(2) != 0});
    }
    total = best.Total();
    return CutPage(best.Kept(), limit);
}

std::string SqliteIndex::CutPage(std::vector<RankedMatch>& matches, std::int64_t limit)
{
    std::vector<std::int64_t> tied, first;
    KeepBest(matches, limit, tied);
    const size_t better = matches.size() - tied.size();
    if (tied.size() > kMostTiesJoined && FirstByPath(tied, size_t(limit) - better, first)) {
        std::sort(first.begin(), first.end());
        matches.erase(std::remove_if(matches.begin(), matches.end(),
                                     [&](const RankedMatch& match) {
                                         return std::binary_search(tied.begin(), tied.end(), match.id) &&
                                                !std::binary_search(first.begin(), first.end(), match.id);
                                     }),
                      matches.end());
    }
    return AsJson(matches);
}

bool SqliteIndex::ProbedPage(const Matching& query, std::int64_t limit, std::string& page, std::int64_t& total,
                             int& read)
{
    // The best by rank alone, a few pages of them, in one call.
    BestMatches best(std::max<std::int64_t>(4 * limit, kProbedMatches));
    Statement scan(connection, "SELECT trellan_scan(texts, NULL, ?2) FROM texts WHERE texts MATCH ?1 LIMIT 1");
    scan.BindText(1, query.fts5).BindPointer(2, &best, bestPointerType);
    read = scan.Step();
    if (read == SQLITE_ROW && scan.Integer(0) != 1) {
        read = SQLITE_DONE;
        return false;  // more than one phrase
    }
    if (read == SQLITE_ROW)
        read = SQLITE_DONE;
    if (read != SQLITE_DONE)
        return true;
    total = best.Total();
    if (total <= kProbedMatches)
        return false;  // few: read again, every one marked, as the caller reads other queries
    // Files whose exact words match come first: they are asked for one by
    // one, best first, until the page holds `limit` of them and every
    // match that ties with the last. A match left out ranks below that
    // one, exact or not. Where too few of the best are exact, every match
    // is marked from the exact words' walk instead.
    std::vector<RankedMatch>& matches = best.Kept();
    std::sort(matches.begin(), matches.end(), RanksBefore);
    Statement probe(connection, "SELECT 1 FROM words WHERE words MATCH ?1 AND rowid = ?2");
    std::int64_t exact = 0;
    std::optional<double> lastRank;  // of the `limit`th exact match
    for (size_t asked = 0; asked < matches.size(); ++asked) {
        if (lastRank && matches[asked].rank > *lastRank) {
            matches.resize(asked);
            break;
        }
        if (asked == kMostProbes)
            return false;
        probe.BindText(1, query.fts5).Bind(2, matches[asked].id);
        read = probe.Step();
        probe.Reset();
        if (read != SQLITE_ROW && read != SQLITE_DONE)
            return true;
        matches[asked].exact = read == SQLITE_ROW;
        if (matches[asked].exact && ++exact == limit)
            lastRank = matches[asked].rank;
        read = SQLITE_DONE;
    }
    if (!lastRank)
        return false;
    page = CutPage(matches, limit);
    return true;
}

Outcome SqliteIndex::Search(const Query& asked, std::int64_t limit, const SnippetMarks& marks, SearchOrder order,
                            std::vector<SearchHit>& hits, std::int64_t& total)
{
    const Matching query = Rendered(&asked);
    // Every statement of the search reads the same state of the index.
    const ReadSnapshot snapshot(connection);
    total = 0;
    // A ranked page of one phrase, its exact matches asked for one by one.
    std::string ranked;
    int read = SQLITE_DONE;
    // (Not of a field: FTS5 seeks a file's row among the matches of the
    // term in every column, and reads on to the next match in the field,
    // which in the exact words may be at the end of them all.)
    // A word of many matches from its leads, without the walk.
    const QueryNode* word = OneWord(asked.words);
    const bool pageable = order == SearchOrder::rank && limit > 0 && limit <= std::int64_t(kMostProbes / 4) &&
                          !query.fts5.empty() && query.places.empty() && !query.fields;
    const bool probed = pageable && ((word && LeadingPage(query, word->text, limit, ranked, total, read)) ||
                                     (read == SQLITE_DONE && ProbedPage(query, limit, ranked, total, read)));
    // Else the files whose exact words match, in the order of their ids.
    std::vector<sqlite3_int64> exactIds;
    if (!probed && !query.fts5.empty()) {
        // A query of one phrase in one call, others row by row.
        Statement scan(connection, "SELECT trellan_rowids(words, ?2) FROM words WHERE words MATCH ?1 LIMIT 1");
        scan.BindText(1, query.fts5).BindPointer(2, &exactIds, rowidsPointerType);
        read = scan.Step();
        if (read == SQLITE_ROW && scan.Integer(0) != 1) {
            Statement words(connection, "SELECT rowid FROM words WHERE words MATCH ?1 ORDER BY rowid");
            words.BindText(1, query.fts5);
            while ((read = words.Step()) == SQLITE_ROW)
                exactIds.push_back(words.Integer(0));
        }
        if (read == SQLITE_ROW)
            read = SQLITE_DONE;
    }
    const SortedIds exact(exactIds);
    // In rank order the matches are counted and cut to the page here
    // (RankedPage); in the other orders every match is joined to its file.
    // The snippets are made for the hits shown alone (Snippets).
    if (!probed && order == SearchOrder::rank && read == SQLITE_DONE)
        ranked = RankedPage(query, limit, exact, total, read);
    const std::string ordered = OrderBy(order, sortKeySql);
    const bool byNames = OrdersByNames(order);
    const std::string with =
        order == SearchOrder::rank
            ? "WITH kept AS (SELECT json_extract(value, '$[0]') AS id, json_extract(value, '$[1]') AS exact, "
              "json_extract(value, '$[2]') AS rank FROM json_each(?5)), counted AS (SELECT ?6 AS total)"
            : "WITH hit AS MATERIALIZED (" + MatchesSql(query) + "), kept AS (SELECT * FROM hit), "
              "counted AS (SELECT count(*) AS total FROM hit)";
    // The title and author are read from the table that holds the texts
    // (c0, c1), not through the full-text table: for every match in the
    // orders by them, for the hits shown in the others.
    const char* const shownTexts = byNames ? "title, author" : "shown.c0, shown.c1";
    const char* const joinTexts = byNames ? "" : " LEFT JOIN texts_content AS shown ON shown.id = top.id";
    const std::string matches = "SELECT kept.id AS id, kept.exact AS exact, kept.rank AS rank, " +
                                std::string(dialect.filePath) + " AS path, " + MatchMediaColumns() +
                                (byNames ? ", shown.c0 AS title, shown.c1 AS author" : "") +
                                " FROM kept JOIN files ON files.id = kept.id JOIN folders ON folders.id = files.folder" +
                                (byNames ? " LEFT JOIN texts_content AS shown ON shown.id = kept.id" : "");
    // The count of every match comes with each hit, taken before the limit.
    const std::string sql = with + ", top AS (SELECT *, (SELECT total FROM counted) AS total FROM (" + matches +
                            ") ORDER BY " + ordered + " LIMIT ?4) SELECT path, " + shownTexts +
                            ", top.id, rank, total, " + HitMediaColumns() + " FROM top" + joinTexts + " ORDER BY " + ordered;
    std::vector<std::int64_t> ids;
    if (read == SQLITE_DONE) {
        Statement statement(connection, sql.c_str());
        if (order == SearchOrder::rank) {
            statement.BindKeptText(5, ranked).Bind(6, total);
        } else {
            BindMatches(statement, query);
            statement.BindPointer(5, &exact, idsPointerType);
        }
        statement.Bind(4, limit > 0 ? limit : -1);
        while ((read = statement.Step()) == SQLITE_ROW) {
            SearchHit& hit = hits.emplace_back();
            hit.path = statement.Text(0), hit.title = statement.Text(1), hit.author = statement.Text(2);
            ids.push_back(statement.Integer(3)), hit.rank = statement.Real(4);
            total = statement.Integer(5);
            ReadHitMedia(
                hit, [&](int column) { return std::string(statement.Text(column)); },
                [&](int column) { return statement.Integer(column); });
        }
    }
    // Every match counted comes back as a hit unless the limit cut it: the
    // texts of a file the index does not hold are damage, and the hits
    // without them would pass for all there are.
    const auto shown = static_cast<std::int64_t>(hits.size());
    if (read == SQLITE_DONE && shown < total && (limit <= 0 || shown < limit)) {
        damaged = true;
        const std::string problem = "its texts name " + std::to_string(total - shown) + " files that it does not hold";
        MarkDamaged(problem);
        return {OutcomeKind::damaged, problem};
    }
    // The expression is rendered from a parsed query, so FTS5 never finds
    // it malformed: what fails here is the index.
    return Said(read == SQLITE_DONE && (query.fts5.empty() || hits.empty() || Snippets(query, marks, ids, hits)));
}

bool SqliteIndex::Snippets(const Matching& query, const SnippetMarks& marks, const std::vector<std::int64_t>& ids,
                           std::vector<SearchHit>& hits)
{
    // The table is made as the texts table is (its columns and tokenizer
    // read from the index's schema), so the query matches in it alike.
    std::string made;
    {
        Statement schema(connection, "SELECT 'CREATE VIRTUAL TABLE temp.shown ' || substr(sql, instr(sql, "
                                     "'USING fts5(')) FROM main.sqlite_schema WHERE name = 'texts'");
        if (schema.Step() != SQLITE_ROW)
            return false;
        made = schema.Text(0);
    }
    // The hits go through it a part at a time: `-n 0` over a whole library
    // holds a part's texts in memory, not every hit's.
    constexpr size_t kPart = 500;
    for (size_t first = 0; first < ids.size(); first += kPart) {
        const size_t end = std::min(ids.size(), first + kPart);
        std::string list = "[";
        std::unordered_map<std::int64_t, size_t> shown;
        for (size_t i = first; i < end; ++i) {
            list += (i > first ? "," : "") + std::to_string(ids[i]);
            shown.emplace(ids[i], i);
        }
        if (!connection.Execute("DROP TABLE IF EXISTS temp.shown") || !connection.Execute(made.c_str()))
            return false;
        static const std::string copySql = "INSERT INTO temp.shown (rowid, " + Columns().names + ") SELECT id, " +
                                           Columns().stored +
                                           " FROM main.texts_content WHERE id IN (SELECT value FROM json_each(?1))";
        Statement copy(connection, copySql.c_str());
        if (copy.BindText(1, list + "]").Step() != SQLITE_DONE)
            return false;
        // The snippet of the body, else of the first of the title, author
        // and comments that holds a match: the properties' columns, with
        // their markers, are not for people to read.
        Statement marked(connection,
                         "SELECT rowid, CASE WHEN instr(b, ?2) THEN b WHEN instr(t, ?2) THEN t WHEN instr(a, ?2) "
                         "THEN a WHEN instr(c, ?2) THEN c ELSE b END FROM (SELECT rowid, snippet(shown, 3, ?2, ?3, "
                         "'…', 12) AS b, snippet(shown, 0, ?2, ?3, '…', 12) AS t, snippet(shown, 1, ?2, ?3, '…', 12) "
                         "AS a, snippet(shown, 2, ?2, ?3, '…', 12) AS c FROM temp.shown WHERE shown MATCH ?1)");
        marked.BindText(1, query.fts5).BindText(2, marks.open).BindText(3, marks.close);
        int read;
        while ((read = marked.Step()) == SQLITE_ROW)
            if (const auto hit = shown.find(marked.Integer(0)); hit != shown.end())
                hits[hit->second].snippet = marked.Text(1);
        if (read != SQLITE_DONE)
            return false;
    }
    return connection.Execute("DROP TABLE temp.shown");
}

Outcome SqliteIndex::List(ListKind kind, const Query* asked, std::vector<ListedValue>& values)
{
    const Matching query = Rendered(asked);
    const std::string sql =
        ListSql(kind, asked ? "SELECT id FROM (" + MatchesSql(query) + ")" : std::string(), "texts.rowid", sortKeySql);
    Statement statement(connection, sql.c_str());
    if (asked)
        BindMatches(statement, query);
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        values.push_back({std::string(statement.Text(0)), statement.Integer(1), std::string(statement.Text(2)),
                          statement.Integer(3)});
    return Said(read == SQLITE_DONE);
}

namespace {

void RemoveWithCompanions(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        unlink((path + suffix).c_str());
    unlink(DamageMarkPath(path).c_str());
}

// Moves an index, its damage mark and its log to another name (a missing
// log is fine; an empty one, all of it checkpointed when the index was
// closed, is removed rather than left beside the moved index for ever).
bool MoveIndex(const std::string& from, const std::string& to)
{
    if (rename(from.c_str(), to.c_str()) != 0)
        return false;
    if (rename(DamageMarkPath(from).c_str(), DamageMarkPath(to).c_str()) != 0 && errno != ENOENT)
        return false;
    unlink((from + "-shm").c_str());
    const std::string log = from + "-wal";
    struct stat status {};
    if (stat(log.c_str(), &status) == 0 && status.st_size == 0)
        return unlink(log.c_str()) == 0 || errno == ENOENT;
    return rename(log.c_str(), (to + "-wal").c_str()) == 0 || errno == ENOENT;
}

}  // namespace

bool SqliteIndex::OpenReplacing(const std::string& original, std::string& error)
{
    const std::string fresh = original + ".rebuild";
    RemoveWithCompanions(fresh);  // what a rebuild cut short left
    lockPath = original + "-lock";  // no run may write the old index meanwhile
    replaced = original;
    if (Open(fresh, true, error))
        return true;
    RemoveWithCompanions(fresh);
    return false;
}

Outcome SqliteIndex::TakePlace(std::string& kept)
{
    // The old index steps aside, kept, and this one takes its name, while
    // the run lock still keeps other runs off.
    CloseIndex();
    kept = replaced + ".old";
    RemoveWithCompanions(kept);
    if ((access(replaced.c_str(), F_OK) == 0 && !MoveIndex(replaced, kept)) || !MoveIndex(path, replaced))
        return {OutcomeKind::other, "cannot put the new index in place of " + replaced + ": " + std::strerror(errno)};
    return Done();
}

void SqliteIndex::Discard()
{
    CloseIndex();
    RemoveWithCompanions(path);
}

void SqliteIndex::CloseIndex()
{
    transaction.reset();
    for (auto* statement : {&findFolder, &insertFolder, &insertFile, &updateFile, &deleteFile, &insertText,
                            &deleteText, &insertWords, &readText, &deleteWords, &insertLeads, &deleteLeads})
        statement->reset();
    counts.Finalize();
    connection.Close();
}

void SqliteIndex::RunEnded(bool wrote)
{
    // A run that wrote copies the write-ahead log into the file at close;
    // one that wrote no more than its line in the run log leaves it there
    // for the next writer, instead of waiting for the disk twice.
    if (wrote && !Damaged())
        sqlite3_db_config(connection.Get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
}

}  // namespace host::index
