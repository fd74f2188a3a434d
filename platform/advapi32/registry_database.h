// The registry's SQLite database: one connection per process, opened on
// first use and closed at exit, every registry call one transaction (or a
// savepoint of a command's transaction) under the registry lock.
#pragma once

#include <win32/windows.h>

#include "sqlite_statement.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace platform::registry {

using KeyId = int64_t;

// Serialises every registry call of the process.
std::mutex& RegistryLock();

// The open connection, opening it first if needed; null when the database
// cannot be used, and OpenError() says why. Call with the registry lock
// held.
sqlite3* Database();
LONG OpenError();
// The open database can be read but not written.
bool DatabaseIsReadOnly();
// The database file of the open connection, or of the last attempt.
const std::string& DatabasePath();

// Closes the connection (a command transaction still open is rolled back);
// the next Database() opens it again.
void CloseDatabase();

// One write transaction around many registry calls (a command of a tool):
// every call joins it until it ends, each in a savepoint of its own, so a
// call that fails still changes nothing. Beginning waits for the writers of
// other processes. Call with the registry lock held.
LONG BeginCommandTransaction();
LONG EndCommandTransaction(bool commit);

// A prepared statement. Statements of the open connection are kept for
// reuse when they go; others are finalized.
class Statement : public sqlite::Statement {
public:
    Statement(sqlite3* db, const char* sql);
};

// The transaction of one registry call: BEGIN (IMMEDIATE for writers) on
// construction, rolled back when it goes uncommitted. Inside a command
// transaction a writer takes a savepoint instead, and a reader nothing.
class Transaction {
public:
    Transaction(sqlite3* db, bool write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Began() const { return began; }
    // True when the changes are durable (or, inside a command transaction,
    // part of it).
    bool Commit();

private:
    sqlite3* db;
    bool write;
    bool nested = false;
    bool began = false;
    bool done = false;
};

// Registry error code for a failed SQLite step.
LONG ErrorFromSqlite(int code, bool write);

}  // namespace platform::registry
