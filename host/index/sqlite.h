// Owning handles for a SQLite connection and its prepared statements. No
// exceptions: every call answers whether it worked, and the connection's
// last error message says why not.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace host::index {

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    // Opens `path`; `create`: make the file if it is missing.
    bool Open(const std::string& path, bool create);
    void Close();
    // Runs statements that return no rows.
    bool Execute(const char* sql);
    std::string LastError() const;
    sqlite3* Get() const { return db; }

private:
    sqlite3* db = nullptr;
};

// One prepared statement, reset for the next use by each Bind after a Step.
class Statement {
public:
    Statement(const Connection& connection, const char* sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement); }

    Statement& Bind(int index, std::int64_t value);
    // The text is not copied: it must last until the statement has run.
    Statement& Bind(int index, std::string_view text);
    // True when a row is ready; false at the end or on an error (see Failed).
    bool Step();
    // Steps to the end: true when the statement ran without an error.
    bool Run();
    bool Failed() const { return result != SQLITE_ROW && result != SQLITE_DONE; }
    int ResultCode() const { return result & 0xFF; }
    void Reset();

    std::int64_t Integer(int column) const { return sqlite3_column_int64(statement, column); }
    double Real(int column) const { return sqlite3_column_double(statement, column); }
    std::string_view Text(int column) const;

private:
    sqlite3_stmt* statement = nullptr;
    int result = SQLITE_DONE;
    bool stepped = false;  // stepped since the last reset: a Bind must reset first
};

// A write transaction: begun at construction, rolled back at destruction
// unless Commit ran.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();

    bool Begun() const { return begun; }
    bool Commit();

private:
    Connection& connection;
    bool begun = false;
};

}  // namespace host::index
