// Opens the registry database: $TRELLAN_REGISTRY (":memory:" for a private
// in-memory registry), else ${XDG_DATA_HOME:-$HOME/.local/share}/trellan/
// registry.sqlite. WAL and a busy timeout let several processes share the
// file; each call commits its own transaction, so a killed process loses
// nothing that was committed.
#include "advapi32/registry_database.h"

#include "advapi32/registry_schema.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <unordered_map>

namespace platform::registry {

namespace {

std::mutex registryLock;
sqlite3* connection = nullptr;
bool connectionIsFile = false;

// Prepared statements of the open connection, by their SQL text: each is
// prepared once and reset after every use.
std::unordered_map<std::string, sqlite3_stmt*> statementCache;

void FinalizeStatements()
{
    for (auto& entry : statementCache)
        sqlite3_finalize(entry.second);
    statementCache.clear();
}

constexpr int kBusyTimeoutMilliseconds = 30000;

std::string DatabasePath()
{
    if (const char* path = std::getenv("TRELLAN_REGISTRY"); path && *path)
        return path;
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        base = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/trellan/registry.sqlite";
}

// mkdir -p for the directory that holds `file`.
void CreateDirectoriesFor(const std::string& file)
{
    size_t end = file.find_last_of('/');
    if (end == std::string::npos || end == 0)
        return;
    std::string directory = file.substr(0, end);
    for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        std::string prefix = directory.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (slash == std::string::npos)
            return;
    }
}

bool Execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3* OpenConnection()
{
    std::string path = DatabasePath();
    bool memory = path == ":memory:";
    if (!memory)
        CreateDirectoriesFor(path);
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
    if (!memory && (!Execute(db, "PRAGMA journal_mode=WAL") || !Execute(db, "PRAGMA synchronous=NORMAL"))) {
        sqlite3_close(db);
        return nullptr;
    }
    if (!CreateSchema(db)) {
        sqlite3_close(db);
        return nullptr;
    }
    connectionIsFile = !memory;
    return db;
}

// A child of fork() must not use its parent's connection to a file: it lets
// the copy go (without closing it, which could disturb the parent's locks)
// and opens its own on first use. An in-memory registry is the child's own
// copy and stays.
void PrepareFork()
{
    registryLock.lock();
}
void ParentAfterFork()
{
    registryLock.unlock();
}
void ChildAfterFork()
{
    if (connection && connectionIsFile) {
        connection = nullptr;
        statementCache.clear();
    }
    registryLock.unlock();
}

struct ForkHandlers {
    ForkHandlers() { pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork); }
} forkHandlers;

}  // namespace

std::mutex& RegistryLock()
{
    return registryLock;
}

sqlite3* Database()
{
    if (!connection)
        connection = OpenConnection();
    return connection;
}

void CloseDatabase()
{
    FinalizeStatements();
    if (connection)
        sqlite3_close_v2(connection);
    connection = nullptr;
}

Statement::Statement(sqlite3* db, const char* sql) : db(db)
{
    if (db == connection) {
        auto cached = statementCache.find(sql);
        if (cached != statementCache.end()) {
            statement = cached->second;
            statementCache.erase(cached);  // in use until this object goes
            return;
        }
    }
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
}

Statement::~Statement()
{
    if (!statement)
        return;
    if (db == connection && db != nullptr) {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        auto [slot, added] = statementCache.emplace(sqlite3_sql(statement), statement);
        if (added)
            return;
    }
    sqlite3_finalize(statement);
}

Statement& Statement::Bind(int index, int64_t value)
{
    if (statement)
        sqlite3_bind_int64(statement, index, value);
    return *this;
}

Statement& Statement::Bind(int index, const std::string& bytes)
{
    if (statement)
        sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

int Statement::Step()
{
    return statement ? sqlite3_step(statement) : SQLITE_ERROR;
}

int64_t Statement::Integer(int column)
{
    return sqlite3_column_int64(statement, column);
}

std::string Statement::Bytes(int column)
{
    const void* data = sqlite3_column_blob(statement, column);
    int size = sqlite3_column_bytes(statement, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

// The transaction statements go through the statement cache too.
bool RunStatement(sqlite3* db, const char* sql)
{
    Statement statement(db, sql);
    return statement.Step() == SQLITE_DONE;
}

Transaction::Transaction(sqlite3* db, bool write) : db(db)
{
    began = RunStatement(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction()
{
    if (began && !done)
        RunStatement(db, "ROLLBACK");
}

bool Transaction::Commit()
{
    if (!began || done)
        return false;
    if (!RunStatement(db, "COMMIT"))
        return false;
    done = true;
    return true;
}

LONG ErrorFromSqlite(int code, bool write)
{
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    default:
        return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

}  // namespace platform::registry
