// The registry's SQLite database: one connection per process, opened on
// first use, every registry call one transaction under the registry lock.
#pragma once

#include <win32/windows.h>

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace platform::registry {

using KeyId = int64_t;

// Serialises every registry call of the process.
std::mutex& RegistryLock();

// The open connection, opening it first if needed; null when the database
// cannot be opened. Call with the registry lock held.
sqlite3* Database();

// Closes the connection; the next Database() opens it again.
void CloseDatabase();

// A prepared statement. Statements of the open connection are kept for
// reuse when they go; others are finalized.
class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return statement != nullptr; }
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, const std::string& bytes);  // as a BLOB
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    int64_t Integer(int column);
    std::string Bytes(int column);

private:
    sqlite3_stmt* statement = nullptr;
    sqlite3* db = nullptr;
};

// One transaction: BEGIN (IMMEDIATE for writers) on construction, rolled
// back when it goes uncommitted.
class Transaction {
public:
    Transaction(sqlite3* db, bool write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Began() const { return began; }
    // True when the changes are durable.
    bool Commit();

private:
    sqlite3* db;
    bool began = false;
    bool done = false;
};

// Registry error code for a failed SQLite step.
LONG ErrorFromSqlite(int code, bool write);

}  // namespace platform::registry
