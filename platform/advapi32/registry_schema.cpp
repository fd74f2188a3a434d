// Keys form a tree of rows (a root's parent is 0); names are kept as they
// were written (UTF-16LE bytes) and as their upper-case fold (UTF-16BE
// bytes, so that byte order is code-unit order) for lookups and ordering.
#include "advapi32/registry_schema.h"

#include "advapi32/registry_database.h"
#include "advapi32/registry_names.h"

namespace platform::registry {

namespace {

struct RootRow {
    ULONG_PTR handle;
    const char16_t* name;
    bool leaf;
};

const RootRow rootTable[] = {
    {0x80000000, u"HKEY_CLASSES_ROOT", false},
    {0x80000001, u"HKEY_CURRENT_USER", false},
    {0x80000002, u"HKEY_LOCAL_MACHINE", false},
    {0x80000003, u"HKEY_USERS", false},
    {0x80000004, u"HKEY_PERFORMANCE_DATA", true},
    {0x80000005, u"HKEY_CURRENT_CONFIG", false},
    {0x80000006, u"HKEY_DYN_DATA", true},
};

const char schemaSql[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " depth INTEGER NOT NULL,"
    " readonly INTEGER NOT NULL DEFAULT 0,"
    " written INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, folded);"
    "CREATE TABLE IF NOT EXISTS key_values("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS values_by_name ON key_values(key, folded);";

}  // namespace

int CheckSchema(sqlite3* db, bool* present)
{
    *present = false;
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db,
                                  "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                  " AND name IN ('keys', 'key_values')) = 2"
                                  " AND (SELECT count(*) FROM keys WHERE parent = 0) = ?",
                                  -1, &statement, nullptr);
    if (code == SQLITE_ERROR) {
        // "no such table": a database without the registry's tables.
        sqlite3_finalize(statement);
        return SQLITE_OK;
    }
    if (code == SQLITE_OK) {
        sqlite3_bind_int(statement, 1, static_cast<int>(sizeof rootTable / sizeof rootTable[0]));
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            *present = sqlite3_column_int(statement, 0) != 0;
            code = SQLITE_OK;
        }
    }
    sqlite3_finalize(statement);
    return code;
}

int CreateSchema(sqlite3* db)
{
    bool present = false;
    int code = CheckSchema(db, &present);
    if (code != SQLITE_OK || present)
        return code;
    code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return code;
    code = sqlite3_exec(db, schemaSql, nullptr, nullptr, nullptr);
    for (const RootRow& row : rootTable) {
        if (code != SQLITE_OK)
            break;
        Statement insert(db, "INSERT OR IGNORE INTO keys(id, parent, name, folded, depth) VALUES(?, 0, ?, ?, 0)");
        std::u16string name = row.name;
        insert.Bind(1, static_cast<int64_t>(row.handle - 0x80000000 + 1)).BindBlob(2, NameBytes(name)).BindBlob(3, FoldedBytes(name));
        code = insert.Step();
        if (code == SQLITE_DONE)
            code = SQLITE_OK;
    }
    if (code == SQLITE_OK)
        code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return code;
}

int64_t RootIdOf(HKEY key)
{
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    for (const RootRow& row : rootTable) {
        if (row.handle == value)
            return static_cast<int64_t>(value - 0x80000000 + 1);
    }
    return 0;
}

bool IsLeafRoot(int64_t id)
{
    return id >= 1 && id <= static_cast<int64_t>(sizeof rootTable / sizeof rootTable[0]) && rootTable[id - 1].leaf;
}

}  // namespace platform::registry
