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

bool CreateSchema(sqlite3* db)
{
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db, schemaSql, nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const RootRow& row : rootTable) {
        if (!ok)
            break;
        Statement insert(db, "INSERT OR IGNORE INTO keys(id, parent, name, folded, depth) VALUES(?, 0, ?, ?, 0)");
        std::u16string name = row.name;
        insert.Bind(1, static_cast<int64_t>(row.handle - 0x80000000 + 1)).Bind(2, NameBytes(name)).Bind(3, FoldedBytes(name));
        ok = insert.Step() == SQLITE_DONE;
    }
    if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
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
