// The registry's one connection per process: opened on first use (see
// registry_open.cpp), closed at exit so that the write-ahead log is folded
// back into the file, and never shared with a child of fork().
#include "advapi32/registry_database.h"

#include "advapi32/registry_open.h"

#include <pthread.h>

#include <unordered_map>

namespace platform::registry {

namespace {

std::mutex registryLock;
OpenedDatabase connection;
bool commandTransaction = false;

// Prepared statements of the open connection, by their SQL text: each is
// prepared once and reset after every use.
std::unordered_map<std::string, sqlite3_stmt*> statementCache;

void FinalizeStatements()
{
    for (auto& entry : statementCache)
        sqlite3_finalize(entry.second);
    statementCache.clear();
}

// A command waits this long for the writers of other processes.
constexpr int kCommandWaitMilliseconds = 120000;

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
    if (connection.db && connection.isFile) {
        connection = OpenedDatabase();
        statementCache.clear();
        commandTransaction = false;
    }
    registryLock.unlock();
}

struct ForkHandlers {
    ForkHandlers() { pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork); }
} forkHandlers;

// Closes the database when the process exits. A thread still inside a
// registry call keeps it open rather than be waited for.
struct CloseAtExit {
    ~CloseAtExit()
    {
        std::unique_lock<std::mutex> lock(registryLock, std::try_to_lock);
        if (lock.owns_lock())
            CloseDatabase();
    }
} closeAtExit;

}  // namespace

std::mutex& RegistryLock()
{
    return registryLock;
}

sqlite3* Database()
{
    if (!connection.db)
        connection = OpenRegistryDatabase();
    return connection.db;
}

LONG OpenError()
{
    return connection.db ? ERROR_SUCCESS : connection.error;
}

bool DatabaseIsReadOnly()
{
    return connection.readOnly;
}

const std::string& DatabasePath()
{
    return connection.path;
}

void CloseDatabase()
{
    FinalizeStatements();
    if (connection.db) {
        if (commandTransaction)
            sqlite3_exec(connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(connection.db);
    }
    commandTransaction = false;
    connection = OpenedDatabase();
}

LONG BeginCommandTransaction()
{
    sqlite3* db = Database();
    if (!db)
        return OpenError();
    if (commandTransaction)
        return ERROR_BUSY;  // one at a time
    if (connection.readOnly)
        return ERROR_ACCESS_DENIED;
    sqlite3_busy_timeout(db, kCommandWaitMilliseconds);
    int code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, kCallWaitMilliseconds);
    if (code != SQLITE_OK)
        return ErrorFromSqlite(code, true);
    commandTransaction = true;
    return ERROR_SUCCESS;
}

LONG EndCommandTransaction(bool commit)
{
    if (!commandTransaction || !connection.db)
        return ERROR_INVALID_HANDLE;
    int code = sqlite3_exec(connection.db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK && commit) {
        LONG error = ErrorFromSqlite(code, true);
        sqlite3_exec(connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
        commandTransaction = false;
        return error;
    }
    commandTransaction = false;
    return ERROR_SUCCESS;
}

Statement::Statement(sqlite3* db, const char* sql) : db(db)
{
    if (db == connection.db) {
        auto cached = statementCache.find(sql);
        if (cached != statementCache.end()) {
            statement = cached->second;
            statementCache.erase(cached);  // in use until this object goes
            return;
        }
    }
    prepareCode = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (prepareCode != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
}

Statement::~Statement()
{
    if (!statement)
        return;
    if (db == connection.db && db != nullptr) {
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

// A statement that could not be prepared answers why (a damaged database
// shows here first).
int Statement::Step()
{
    if (statement)
        return sqlite3_step(statement);
    return prepareCode != SQLITE_OK ? prepareCode : SQLITE_ERROR;
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

Transaction::Transaction(sqlite3* db, bool write) : db(db), write(write)
{
    if (commandTransaction && db == connection.db) {
        nested = true;
        began = !write || RunStatement(db, "SAVEPOINT registry_call");
        return;
    }
    began = RunStatement(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction()
{
    if (!began || done)
        return;
    if (!nested) {
        RunStatement(db, "ROLLBACK");
    } else if (write) {
        RunStatement(db, "ROLLBACK TO registry_call");
        RunStatement(db, "RELEASE registry_call");
    }
}

bool Transaction::Commit()
{
    if (!began || done)
        return false;
    if (nested ? write && !RunStatement(db, "RELEASE registry_call") : !RunStatement(db, "COMMIT"))
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
