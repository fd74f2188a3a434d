// Owning handles for SQLite: a connection, its prepared statements (kept
// for reuse in a cache when one is given), and a write transaction. One
// convention for every user, the registry stand-in and the host's index:
// Step answers SQLite's own code (SQLITE_ROW, SQLITE_DONE or an error), and
// nothing throws.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform::sqlite {

// A file name as a URI of SQLite's "file:" form, with `query` ("immutable=1").
std::string FileUri(const std::string& path, const char* query);

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    // Opens `path` (the file system's bytes); `create`: make the file if it
    // is missing. On failure the handle is kept until the next Open or
    // Close, for its message.
    bool Open(const std::string& path, bool create);
    // Opens `path` to read as it is, taking no locks and making no files
    // beside it: for a file in a folder this process may not write.
    bool OpenImmutable(const std::string& path);
    void Close();
    // Runs statements that return no rows.
    bool Execute(const char* sql);
    std::string LastError() const;
    sqlite3* Get() const { return db; }

private:
    sqlite3* db = nullptr;
};

// Prepared statements of one connection by their text, for reuse: a
// statement taken out is in use until it is given back.
class StatementCache {
public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache() { Clear(); }

    sqlite3_stmt* Take(const char* sql);
    // Keeps `statement`, reset and unbound; finalizes it when one of its
    // text is kept already.
    void Give(sqlite3_stmt* statement);
    // Finalizes every kept statement (before their connection closes).
    void Clear();
    // Lets the kept statements go unfinalized: they belong to a connection
    // that is not this process's to close (a parent's, after fork()).
    void Forget() { statements.clear(); }

private:
    std::unordered_map<std::string, sqlite3_stmt*> statements;
};

// One prepared statement. A Bind after a Step resets it first, so a
// statement is used again by binding anew.
class Statement {
public:
    // With a cache, the statement comes from it when it holds one of this
    // text, and goes back to it when this object goes.
    Statement(sqlite3* db, const char* sql, StatementCache* cache = nullptr);
    Statement(const Connection& connection, const char* sql) : Statement(connection.Get(), sql) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    bool Valid() const { return statement != nullptr; }
    Statement& Bind(int index, std::int64_t value);
    // Text and bytes are copied: a temporary may be bound.
    Statement& BindText(int index, std::string_view text);
    // The same without a copy: `text` must stay as it is until the
    // statement is stepped for the last time, reset or bound again.
    Statement& BindKeptText(int index, std::string_view text);
    Statement& BindBlob(int index, std::string_view bytes);
    // A pointer for a function of this process's own (sqlite3_value_pointer
    // with the same `type`); what it points to must stay while the
    // statement runs.
    Statement& BindPointer(int index, const void* pointer, const char* type);
    // SQLITE_ROW when a row is ready, SQLITE_DONE at the end, else the error
    // (a statement that could not be prepared answers why: a busy or
    // damaged database shows there first).
    int Step();
    // Steps to the end: true when the statement ran without an error. It is
    // reset for the next use.
    bool Run();
    void Reset();

    std::int64_t Integer(int column) const { return sqlite3_column_int64(statement, column); }
    double Real(int column) const { return sqlite3_column_double(statement, column); }
    bool Null(int column) const { return sqlite3_column_type(statement, column) == SQLITE_NULL; }
    // Valid until the next Step or Reset.
    std::string_view Text(int column) const;
    std::string Bytes(int column) const;

private:
    sqlite3_stmt* statement = nullptr;
    StatementCache* cache = nullptr;
    int prepareCode = SQLITE_OK;
    bool stepped = false;  // stepped since the last reset: a Bind must reset first
};

// A write transaction: BEGIN IMMEDIATE at construction, rolled back at
// destruction unless Commit ran.
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& connection);
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    ~WriteTransaction();

    bool Begun() const { return begun; }
    bool Commit();

private:
    Connection& connection;
    bool begun = false;
};

}  // namespace platform::sqlite
