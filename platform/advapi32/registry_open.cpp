// Opening the registry database. WAL and a busy timeout let several
// processes share the file. A database that cannot be written (a
// write-protected file, or a folder where the write-ahead log cannot be
// made) is still read: read-only, or, when the folder takes no files and no
// log is pending, as an immutable file.
#include "advapi32/registry_open.h"

#include "advapi32/registry_classes.h"
#include "advapi32/registry_schema.h"
#include "shell32/known_folders.h"
#include "sqlite_statement.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::registry {

namespace {

struct DatabaseLocation {
    std::string path;
    bool isDefault = false;
};

DatabaseLocation Locate()
{
    if (const char* path = std::getenv("TRELLAN_REGISTRY"); path && *path)
        return {path, false};
    return {shell::LocalDataFolder() + "/trellan/registry.sqlite", true};
}

std::string FolderOf(const std::string& file)
{
    size_t end = file.find_last_of('/');
    if (end == std::string::npos)
        return ".";
    return end == 0 ? "/" : file.substr(0, end);
}

bool IsFolder(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

LONG ErrorOf(int code)
{
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_CANTOPEN;
    }
}

// The answer of a one-row query, or an SQLite error code.
int QueryText(sqlite3* db, const char* sql, std::string* text)
{
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            const unsigned char* column = sqlite3_column_text(statement, 0);
            *text = column ? reinterpret_cast<const char*>(column) : "";
            code = SQLITE_OK;
        }
    }
    sqlite3_finalize(statement);
    return code;
}

struct Connection {
    sqlite3* db = nullptr;
    int code = SQLITE_OK;

    Connection(const std::string& name, int flags)
    {
        code = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (code == SQLITE_OK)
            sqlite3_busy_timeout(db, kCallWaitMilliseconds);
    }
    ~Connection() { sqlite3_close(db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    sqlite3* Release()
    {
        sqlite3* opened = db;
        db = nullptr;
        return opened;
    }
};

// Makes a writable connection ready: WAL, and the tables if missing.
int PrepareForWriting(sqlite3* db, bool memory)
{
    std::string mode;
    int code = QueryText(db, "PRAGMA journal_mode", &mode);
    if (code == SQLITE_OK && !memory && mode != "wal")
        code = QueryText(db, "PRAGMA journal_mode=WAL", &mode);
    if (code == SQLITE_OK && !memory)
        code = sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return code;
    code = CreateSchema(db);
    return code == SQLITE_OK ? MigrateClassesRoot(db) : code;
}

OpenedDatabase Failed(OpenedDatabase opened, LONG error)
{
    opened.error = error;
    return opened;
}

// A database opened for reading is a registry when it has the tables.
OpenedDatabase Usable(OpenedDatabase opened, Connection& connection, bool hasSchema)
{
    if (!hasSchema)
        return Failed(opened, ERROR_REGISTRY_CORRUPT);
    opened.db = connection.Release();
    return opened;
}

// Opens a file that cannot be written, for reading.
OpenedDatabase OpenForReading(OpenedDatabase opened)
{
    if (access(opened.path.c_str(), R_OK) != 0)
        return Failed(opened, errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    opened.readOnly = true;
    bool present = false;
    Connection reader(opened.path, SQLITE_OPEN_READONLY);
    int code = reader.code == SQLITE_OK ? CheckSchema(reader.db, &present) : reader.code;
    if (code == SQLITE_OK)
        return Usable(opened, reader, present);
    // Reading a WAL database needs its shared-memory file, which a folder
    // that takes no new files cannot hold. With no log pending, the file
    // alone is the whole registry.
    struct stat log {};
    bool logPending = stat((opened.path + "-wal").c_str(), &log) == 0 && log.st_size > 0;
    if ((code & 0xFF) != SQLITE_READONLY && (code & 0xFF) != SQLITE_CANTOPEN)
        return Failed(opened, ErrorOf(code));
    if (logPending)
        return Failed(opened, ERROR_CANTOPEN);
    Connection immutable(sqlite::FileUri(opened.path, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    code = immutable.code == SQLITE_OK ? CheckSchema(immutable.db, &present) : immutable.code;
    if (code != SQLITE_OK)
        return Failed(opened, ErrorOf(code));
    return Usable(opened, immutable, present);
}

}  // namespace

OpenedDatabase OpenRegistryDatabase()
{
    const DatabaseLocation location = Locate();
    OpenedDatabase opened;
    opened.path = location.path;
    const bool memory = location.path == ":memory:";
    opened.isFile = !memory;
    if (!memory) {
        if (location.isDefault)
            shell::CreateFolders(FolderOf(location.path));
        else if (!IsFolder(FolderOf(location.path)))
            return Failed(opened, ERROR_PATH_NOT_FOUND);
    }

    // SQLite would wait for ever on a pipe with no writer, and read a device.
    struct stat file {};
    if (!memory && stat(location.path.c_str(), &file) == 0 && !S_ISREG(file.st_mode))
        return Failed(opened, S_ISDIR(file.st_mode) ? ERROR_CANTOPEN : ERROR_BAD_FILE_TYPE);
    Connection writer(location.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (writer.code != SQLITE_OK)
        return Exists(location.path) ? OpenForReading(opened) : Failed(opened, ErrorOf(writer.code));
    if (sqlite3_db_readonly(writer.db, "main") == 1)
        return OpenForReading(opened);
    int code = PrepareForWriting(writer.db, memory);
    if (code == SQLITE_OK) {
        opened.db = writer.Release();
        return opened;
    }
    // A folder where the log cannot be made keeps the file to reading.
    if ((code & 0xFF) == SQLITE_READONLY || (code & 0xFF) == SQLITE_CANTOPEN)
        return OpenForReading(opened);
    return Failed(opened, ErrorOf(code));
}

}  // namespace platform::registry
