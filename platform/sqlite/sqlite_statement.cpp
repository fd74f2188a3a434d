#include "sqlite_statement.h"

#include "sqlite_faults.h"

namespace platform::sqlite {
namespace {

// SQLite counts the memory it holds under a lock that every allocation
// takes, from every thread; nothing here reads the count. It is turned off
// as this library loads, before SQLite's first use in the process (later,
// SQLite refuses the change and counts as before).
const bool memoryUncounted = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;

}  // namespace

std::string FileUri(const std::string& path, const char* query)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '?' || c == '#' || c == '%' || c < 0x20 || c >= 0x7F) {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?" + query;
}

bool Connection::OpenImmutable(const std::string& path)
{
    Close();
    return sqlite3_open_v2(FileUri(path, "immutable=1").c_str(), &db,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
}

bool Connection::Open(const std::string& path, bool create)
{
    Close();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    return sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK;
}

void Connection::Close()
{
    sqlite3_close(db);
    db = nullptr;
}

bool Connection::Execute(const char* sql)
{
    return StatementFault(db) == 0 && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string Connection::LastError() const
{
    return db ? sqlite3_errmsg(db) : "out of memory";
}

sqlite3_stmt* StatementCache::Take(const char* sql)
{
    auto found = statements.find(sql);
    if (found == statements.end())
        return nullptr;
    sqlite3_stmt* statement = found->second;
    statements.erase(found);
    return statement;
}

void StatementCache::Give(sqlite3_stmt* statement)
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (!statements.emplace(sqlite3_sql(statement), statement).second)
        sqlite3_finalize(statement);
}

void StatementCache::Clear()
{
    for (auto& [sql, statement] : statements)
        sqlite3_finalize(statement);
    statements.clear();
}

Statement::Statement(sqlite3* db, const char* sql, StatementCache* cache) : cache(cache)
{
    if (cache && (statement = cache->Take(sql)))
        return;
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
    if (cache)
        cache->Give(statement);
    else
        sqlite3_finalize(statement);
}

Statement& Statement::Bind(int index, std::int64_t value)
{
    if (stepped)
        Reset();
    sqlite3_bind_int64(statement, index, value);
    return *this;
}

Statement& Statement::BindText(int index, std::string_view text)
{
    if (stepped)
        Reset();
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindKeptText(int index, std::string_view text)
{
    if (stepped)
        Reset();
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes)
{
    if (stepped)
        Reset();
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindPointer(int index, const void* pointer, const char* type)
{
    if (stepped)
        Reset();
    sqlite3_bind_pointer(statement, index, const_cast<void*>(pointer), type, nullptr);
    return *this;
}

int Statement::Step()
{
    if (!statement)
        return prepareCode != SQLITE_OK ? prepareCode : SQLITE_ERROR;
    if (!stepped) {
        stepped = true;
        if (const int fault = StatementFault(sqlite3_db_handle(statement)))
            return fault;
    }
    return sqlite3_step(statement);
}

bool Statement::Run()
{
    int code;
    while ((code = Step()) == SQLITE_ROW) {
    }
    Reset();
    return code == SQLITE_DONE;
}

void Statement::Reset()
{
    sqlite3_reset(statement);
    stepped = false;
}

std::string_view Statement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text),
                                   static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string_view();
}

std::string Statement::Bytes(int column) const
{
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

WriteTransaction::WriteTransaction(Connection& connection) : connection(connection)
{
    begun = connection.Execute("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction()
{
    // SQLite rolls a transaction back itself after some failures (memory,
    // a full disk, I/O): a ROLLBACK then would fail and replace the
    // failure's message with "no transaction is active".
    if (begun && !sqlite3_get_autocommit(connection.Get()))
        connection.Execute("ROLLBACK");
}

bool WriteTransaction::Commit()
{
    if (!begun || !connection.Execute("COMMIT"))
        return false;
    begun = false;
    return true;
}

}  // namespace platform::sqlite
