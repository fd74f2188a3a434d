// The registry's one connection per process: opened on first use (see
// registry_open.cpp), closed at exit so that the write-ahead log is folded
// back into the file, and never shared with a child of fork().
#include "advapi32/registry_database.h"

#include "advapi32/registry_open.h"

#include <pthread.h>


namespace platform::registry {

namespace {

std::mutex registryLock;
OpenedDatabase connection;
bool commandTransaction = false;

// Prepared statements of the open connection, by their SQL text: each is
// prepared once and reset after every use.
sqlite::StatementCache statementCache;

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
        statementCache.Forget();
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
    statementCache.Clear();
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

Statement::Statement(sqlite3* db, const char* sql)
    : sqlite::Statement(db, sql, db && db == connection.db ? &statementCache : nullptr)
{
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
