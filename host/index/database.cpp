// The index's schema and its reads and writes. WAL with synchronous=NORMAL:
// a killed process loses only the transaction it was in, and readers (a
// search during a run) never wait for the writer.
#include "index/database.h"

#include "system/platform_specifics.h"
#include "text/text_conversion.h"

namespace host::index {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMilliseconds = 30000;

// A file's path is its folder's path, "/", and its name: folders are stored
// once. Paths are looked up in memory during a run (KnownFiles), so files
// need no index of their own; the run lock keeps two runs from adding the
// same file twice. Title first, then author and comments, then the body:
// bm25's weights follow the columns' order.
const char* const schemaSql = R"(
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
    cause TEXT NOT NULL
);
CREATE VIRTUAL TABLE texts USING fts5(title, author, comments, body,
    tokenize = 'unicode61 remove_diacritics 2');
INSERT INTO texts(texts, rank) VALUES ('rank', 'bm25(10.0, 4.0, 4.0, 1.0)');
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
PRAGMA user_version = 1;
)";

std::int64_t ReadInteger(const Connection& connection, const char* sql)
{
    Statement statement(connection, sql);
    return statement.Step() == SQLITE_ROW ? statement.Integer(0) : -1;
}

}  // namespace

namespace {

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

bool IndexDatabase::Open(const std::string& path, bool create, std::string& error)
{
    if (create && path == DefaultIndexPath())
        DefaultIndexFolder(true);  // a folder that cannot be made shows as a file that cannot be opened
    if (!connection.Open(path, create)) {
        error = create || FileExists(path)
                    ? "cannot open the index " + path + ": " + connection.LastError()
                    : "there is no index at " + path + " (trellan index PATH... makes one)";
        return false;
    }
    sqlite3_busy_timeout(connection.Get(), kBusyTimeoutMilliseconds);
    // Pages read through a map of the file: fewer system calls for searches and runs alike.
    if (!connection.Execute("PRAGMA journal_mode = WAL") || !connection.Execute("PRAGMA synchronous = NORMAL") ||
        !connection.Execute("PRAGMA mmap_size = 268435456")) {
        error = "cannot open the index " + path + ": " + connection.LastError();
        return false;
    }
    if (!CreateSchema(error)) {
        error = path + " " + error;
        return false;
    }
    if (!create)
        KeepLogAtClose();
    return true;
}

void IndexDatabase::Close()
{
    for (auto* statement : {&insertFolder, &insertFile, &updateFile, &deleteFile, &insertText, &deleteText})
        statement->reset();
    folderIds.clear();
    runLock.Close();
    connection.Close();
}

bool IndexDatabase::CreateSchema(std::string& error)
{
    std::int64_t version = ReadInteger(connection, "PRAGMA user_version");
    if (version == kSchemaVersion)
        return true;
    if (version > kSchemaVersion) {
        error = "is an index of a newer Trellan (version " + std::to_string(version) + ")";
        return false;
    }
    Transaction transaction(connection);
    // Read again inside the transaction: another process may have just made it.
    version = ReadInteger(connection, "PRAGMA user_version");
    if (version == kSchemaVersion)
        return true;
    if (version != 0 || ReadInteger(connection, "SELECT count(*) FROM sqlite_schema") != 0) {
        error = version < 0 ? "cannot be read: " + connection.LastError() : "is not a Trellan index";
        return false;
    }
    if (!transaction.Begun() || !connection.Execute(schemaSql) || !transaction.Commit()) {
        error = "cannot be made into an index: " + connection.LastError();
        return false;
    }
    return true;
}

Statement& IndexDatabase::Cached(std::unique_ptr<Statement>& slot, const char* sql)
{
    if (!slot)
        slot = std::make_unique<Statement>(connection, sql);
    return *slot;
}

bool IndexDatabase::LoadKnownFiles(const KnowFile& know)
{
    Statement folders(connection, "SELECT id, path FROM folders");
    int foldersRead;
    while ((foldersRead = folders.Step()) == SQLITE_ROW)
        folderIds.emplace(folders.Text(1), folders.Integer(0));
    std::unordered_map<std::int64_t, const std::string*> folderPaths;
    for (const auto& [path, id] : folderIds)
        folderPaths.emplace(id, &path);

    Statement files(connection, "SELECT id, folder, name, size, modified, failed FROM files");
    int filesRead;
    while ((filesRead = files.Step()) == SQLITE_ROW) {
        auto folder = folderPaths.find(files.Integer(1));
        if (folder != folderPaths.end())  // it is: a folder's row goes only once it holds no file
            know(*folder->second, files.Text(2),
                 {files.Integer(0), {files.Integer(3), files.Integer(4)}, files.Integer(5) != 0});
    }
    return foldersRead == SQLITE_DONE && filesRead == SQLITE_DONE;
}

std::int64_t IndexDatabase::FolderId(const std::string& folder)
{
    if (auto known = folderIds.find(folder); known != folderIds.end())
        return known->second;
    Statement& insert = Cached(insertFolder, "INSERT INTO folders (path) VALUES (?1) "
                                             "ON CONFLICT (path) DO UPDATE SET path = path RETURNING id");
    if (insert.BindText(1, folder).Step() != SQLITE_ROW)
        return 0;
    std::int64_t id = insert.Integer(0);
    if (!insert.Run())
        return 0;
    folderIds.emplace(folder, id);
    return id;
}

namespace {

// Binds what a run learns of a file (size, time, status, failed, cause) to
// the parameters ?3 to ?7; ?1 and ?2 say which file.
Statement& BindFileState(Statement& statement, const IndexEntry& entry)
{
    return statement.Bind(3, entry.stamp.size)
        .Bind(4, entry.stamp.modified)
        .BindText(5, entry.status)
        .Bind(6, entry.failed ? 1 : 0)
        .BindText(7, entry.cause);
}

}  // namespace

bool IndexDatabase::Store(const IndexEntry& entry, std::int64_t knownId)
{
    std::int64_t id = knownId;
    if (id) {
        if (!BindFileState(Cached(updateFile, "UPDATE files SET size = ?3, modified = ?4, status = ?5, failed = ?6, "
                                              "cause = ?7 WHERE id = ?1"),
                           entry)
                 .Bind(1, id)
                 .Run())
            return false;
    } else {
        const size_t slash = entry.path.rfind('/');
        const std::int64_t folder = FolderId(slash == std::string::npos ? std::string() : entry.path.substr(0, slash));
        if (!folder || !BindFileState(Cached(insertFile, "INSERT INTO files (folder, name, size, modified, status, "
                                                         "failed, cause) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
                                      entry)
                            .Bind(1, folder)
                            .BindText(2, std::string_view(entry.path).substr(slash + 1))
                            .Run())
            return false;
        id = sqlite3_last_insert_rowid(connection.Get());
    }
    // The text row under the file's id: a file the index held loses its old
    // one first; a file that failed gets none.
    if (knownId && !Cached(deleteText, "DELETE FROM texts WHERE rowid = ?1").Bind(1, id).Run())
        return false;
    if (entry.failed)
        return true;
    return Cached(insertText, "INSERT INTO texts (rowid, title, author, comments, body) VALUES (?1, ?2, ?3, ?4, ?5)")
        .Bind(1, id)
        .BindText(2, entry.title)
        .BindText(3, entry.author)
        .BindText(4, entry.comments)
        .BindText(5, entry.body)
        .Run();
}

bool IndexDatabase::Remove(std::int64_t id)
{
    return Cached(deleteText, "DELETE FROM texts WHERE rowid = ?1").Bind(1, id).Run() &&
           Cached(deleteFile, "DELETE FROM files WHERE id = ?1").Bind(1, id).Run();
}

bool IndexDatabase::RemoveEmptyFolders()
{
    folderIds.clear();
    return connection.Execute("DELETE FROM folders WHERE id NOT IN (SELECT folder FROM files)");
}

bool IndexDatabase::LockForRun(const std::string& path, std::string& error)
{
    // An exclusive transaction on a companion file (kept empty: no journal),
    // held until the index is closed; the system lets it go when the process
    // ends, however it ends.
    if (!runLock.Open(path + "-lock", true) || !runLock.Execute("PRAGMA journal_mode = OFF") ||
        !runLock.Execute("BEGIN EXCLUSIVE")) {
        error = runLock.Get() && sqlite3_errcode(runLock.Get()) == SQLITE_BUSY
                    ? "another trellan index is running on " + path
                    : "cannot lock " + path + "-lock: " + runLock.LastError();
        return false;
    }
    // The run is the only writer: a larger page cache, and a write-ahead log
    // that is copied into the file less often while it runs (a page written
    // many times is copied once); closing the index copies the rest.
    return connection.Execute("PRAGMA cache_size = -32000") && connection.Execute("PRAGMA wal_autocheckpoint = 4000");
}

std::int64_t IndexDatabase::StartRun()
{
    Statement statement(connection, "INSERT INTO runs (started) VALUES (julianday('now')) RETURNING id");
    return statement.Step() == SQLITE_ROW ? statement.Integer(0) : 0;
}

bool IndexDatabase::FinishRun(std::int64_t run, const RunCounts& counts, bool complete)
{
    return Statement(connection, "UPDATE runs SET finished = julianday('now'), complete = ?2, added = ?3, "
                                 "changed = ?4, unchanged = ?5, removed = ?6, failed = ?7 WHERE id = ?1")
        .Bind(1, run)
        .Bind(2, complete ? 1 : 0)
        .Bind(3, counts.added)
        .Bind(4, counts.changed)
        .Bind(5, counts.unchanged)
        .Bind(6, counts.removed)
        .Bind(7, counts.failed)
        .Run();
}

bool IndexDatabase::ReadLastRun(LastRun& run)
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
    return read == SQLITE_ROW || read == SQLITE_DONE;
}

bool IndexDatabase::CountByStatus(std::vector<StatusCount>& counts)
{
    Statement statement(connection,
                        "SELECT status, count(*) FROM files GROUP BY status ORDER BY failed, count(*) DESC, status");
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        counts.push_back({std::string(statement.Text(0)), statement.Integer(1)});
    return read == SQLITE_DONE;
}

bool IndexDatabase::ListFailures(std::vector<FailedFile>& files)
{
    Statement statement(connection, "SELECT folders.path || '/' || files.name AS path, status, cause FROM files "
                                    "JOIN folders ON folders.id = files.folder WHERE failed ORDER BY path");
    int read;
    while ((read = statement.Step()) == SQLITE_ROW)
        files.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)),
                         std::string(statement.Text(2))});
    return read == SQLITE_DONE;
}

bool IndexDatabase::CheckIntegrity(std::string& problem)
{
    if (connection.Execute("INSERT INTO texts (texts, rank) VALUES ('integrity-check', 1)"))
        return true;
    problem = connection.LastError();
    return false;
}

void IndexDatabase::KeepLogAtClose()
{
    sqlite3_db_config(connection.Get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

}  // namespace host::index
