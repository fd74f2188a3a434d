#include "advapi32/registry_classes.h"

#include "advapi32/registry_schema.h"

namespace platform::registry {

namespace {

constexpr KeyId kCurrentUserId = 2;
constexpr KeyId kLocalMachineId = 3;

// The classes key below a root: "Software\Classes".
LONG FindClasses(sqlite3* db, KeyId root, KeyRow* classes)
{
    KeyRow software;
    if (LONG result = FindChild(db, root, u"Software", &software))
        return result;
    return FindChild(db, software.id, u"Classes", classes);
}

// How many parts of the path exist below `base` (the last found in `deepest`).
LONG ExistingDepth(sqlite3* db, const KeyRow& base, const std::vector<std::u16string_view>& parts, size_t* depth,
                   KeyRow* deepest)
{
    *depth = 0;
    *deepest = base;
    for (std::u16string_view part : parts) {
        KeyRow child;
        LONG found = FindChild(db, deepest->id, part, &child);
        if (found == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;
        if (found != ERROR_SUCCESS)
            return found;
        *deepest = child;
        ++*depth;
    }
    return ERROR_SUCCESS;
}

// The sides of the view in the order they are read: the user's classes,
// the machine's, and the root row (a read-only registry not yet migrated).
// Sides that do not exist are left out.
LONG Sides(sqlite3* db, std::vector<KeyRow>* sides)
{
    for (KeyId root : {kCurrentUserId, kLocalMachineId}) {
        KeyRow classes;
        LONG found = FindClasses(db, root, &classes);
        if (found == ERROR_SUCCESS)
            sides->push_back(classes);
        else if (found != ERROR_FILE_NOT_FOUND)
            return found;
    }
    KeyRow legacy;
    if (LONG result = LoadKey(db, kClassesRootId, &legacy))
        return result;
    sides->push_back(legacy);
    return ERROR_SUCCESS;
}

int Exec(sqlite3* db, const char* sql, KeyId first, KeyId second = 0)
{
    Statement statement(db, sql);
    statement.Bind(1, first);
    if (second)
        statement.Bind(2, second);
    int step = statement.Step();
    return step == SQLITE_DONE ? SQLITE_OK : step;
}

// Moves the subkeys and values of `from` into `to` (`levels` deeper),
// merging keys of the same name; `from` is removed.
int MergeInto(sqlite3* db, KeyId from, KeyId to, int64_t levels)
{
    int code = Exec(db,
                    "DELETE FROM key_values WHERE key = ?2 AND folded IN"
                    " (SELECT folded FROM key_values WHERE key = ?1)",
                    from, to);
    if (code == SQLITE_OK)
        code = Exec(db, "UPDATE key_values SET key = ?2 WHERE key = ?1", from, to);
    std::vector<std::pair<KeyId, KeyId>> clashes;
    {
        Statement select(db,
                         "SELECT a.id, b.id FROM keys a JOIN keys b ON b.parent = ?2 AND b.folded = a.folded"
                         " WHERE a.parent = ?1");
        select.Bind(1, from).Bind(2, to);
        while (code == SQLITE_OK && (code = select.Step()) == SQLITE_ROW) {
            clashes.emplace_back(select.Integer(0), select.Integer(1));
            code = SQLITE_OK;
        }
        if (code == SQLITE_DONE)
            code = SQLITE_OK;
    }
    for (const auto& [moved, kept] : clashes) {
        if (code == SQLITE_OK)
            code = MergeInto(db, moved, kept, levels);
    }
    if (code == SQLITE_OK) {
        Statement deepen(db,
                         "WITH RECURSIVE below(id) AS (SELECT id FROM keys WHERE parent = ?1"
                         " UNION ALL SELECT keys.id FROM keys JOIN below ON keys.parent = below.id)"
                         " UPDATE keys SET depth = depth + ?3 WHERE id IN below");
        deepen.Bind(1, from).Bind(3, levels);
        code = deepen.Step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
    if (code == SQLITE_OK)
        code = Exec(db, "UPDATE keys SET parent = ?2 WHERE parent = ?1", from, to);
    if (code == SQLITE_OK && from != kClassesRootId)
        code = Exec(db, "DELETE FROM keys WHERE id = ?1", from);
    return code;
}

// Finds or makes `name` below `parent`.
int Child(sqlite3* db, const KeyRow& parent, std::u16string_view name, KeyRow* child)
{
    LONG found = FindChild(db, parent.id, name, child);
    if (found == ERROR_FILE_NOT_FOUND)
        found = InsertChild(db, parent, name, child);
    return found == ERROR_SUCCESS ? SQLITE_OK : SQLITE_ERROR;
}

}  // namespace

LONG ClassesRootKey(sqlite3* db, KeyRow* key)
{
    LONG found = FindClasses(db, kLocalMachineId, key);
    return found == ERROR_FILE_NOT_FOUND ? LoadKey(db, kClassesRootId, key) : found;
}

LONG ResolveClassesPath(sqlite3* db, const std::vector<std::u16string_view>& parts, KeyRow* key)
{
    std::vector<KeyRow> sides;
    if (LONG result = Sides(db, &sides))
        return result;
    for (const KeyRow& side : sides) {
        size_t depth = 0;
        if (LONG result = ExistingDepth(db, side, parts, &depth, key))
            return result;
        if (depth == parts.size())
            return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG ClassesCreateBase(sqlite3* db, const std::vector<std::u16string_view>& parts, KeyRow* base)
{
    KeyRow user, machine, deepest;
    LONG userFound = FindClasses(db, kCurrentUserId, &user);
    if (userFound != ERROR_SUCCESS && userFound != ERROR_FILE_NOT_FOUND)
        return userFound;
    if (LONG result = ClassesRootKey(db, &machine))
        return result;
    size_t userDepth = 0, machineDepth = 0;
    if (userFound == ERROR_SUCCESS) {
        if (LONG result = ExistingDepth(db, user, parts, &userDepth, &deepest))
            return result;
    }
    if (LONG result = ExistingDepth(db, machine, parts, &machineDepth, &deepest))
        return result;
    *base = userDepth > 0 && userDepth >= machineDepth ? user : machine;
    return ERROR_SUCCESS;
}

int MigrateClassesRoot(sqlite3* db)
{
    KeyRow classes;
    bool legacyKeys = false;
    {
        Statement select(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        select.Bind(1, kClassesRootId);
        int step = select.Step();
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return step;
        legacyKeys = step == SQLITE_ROW;
    }
    LONG found = FindClasses(db, kLocalMachineId, &classes);
    if (found == ERROR_SUCCESS && !legacyKeys)
        return SQLITE_OK;
    int code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        return code;
    KeyRow machine, software;
    code = LoadKey(db, kLocalMachineId, &machine) == ERROR_SUCCESS ? SQLITE_OK : SQLITE_ERROR;
    if (code == SQLITE_OK)
        code = Child(db, machine, u"Software", &software);
    if (code == SQLITE_OK)
        code = Child(db, software, u"Classes", &classes);
    if (code == SQLITE_OK)
        code = MergeInto(db, kClassesRootId, classes.id, classes.depth);
    if (code == SQLITE_OK)
        code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return code;
}

}  // namespace platform::registry
