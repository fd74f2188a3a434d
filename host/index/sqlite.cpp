#include "index/sqlite.h"

namespace host::index {

bool Connection::Open(const std::string& path, bool create)
{
    Close();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK)
        return true;
    // Keep the handle (it carries the message) until the next Open or Close.
    return false;
}

void Connection::Close()
{
    sqlite3_close(db);
    db = nullptr;
}

bool Connection::Execute(const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string Connection::LastError() const
{
    return db ? sqlite3_errmsg(db) : "out of memory";
}

Statement::Statement(const Connection& connection, const char* sql)
{
    const int code = sqlite3_prepare_v3(connection.Get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (code != SQLITE_OK)
        result = code;  // a busy or damaged database is told apart from a malformed query
}

Statement& Statement::Bind(int index, std::int64_t value)
{
    if (stepped)
        Reset();
    sqlite3_bind_int64(statement, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text)
{
    if (stepped)
        Reset();
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
}

bool Statement::Step()
{
    if (!statement)
        return false;
    stepped = true;
    result = sqlite3_step(statement);
    return result == SQLITE_ROW;
}

bool Statement::Run()
{
    while (Step()) {
    }
    bool ran = !Failed();
    Reset();
    return ran;
}

void Statement::Reset()
{
    sqlite3_reset(statement);
    stepped = false;
    if (statement)
        result = SQLITE_DONE;
}

std::string_view Statement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text),
                                   static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string_view();
}

Transaction::Transaction(Connection& connection) : connection(connection)
{
    begun = connection.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (begun)
        connection.Execute("ROLLBACK");
}

bool Transaction::Commit()
{
    if (!begun || !connection.Execute("COMMIT"))
        return false;
    begun = false;
    return true;
}

}  // namespace host::index
