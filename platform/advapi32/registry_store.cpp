// Row-level operations on the key tree and the values.
#include "advapi32/registry_store.h"

#include "advapi32/registry_names.h"
#include "advapi32/registry_schema.h"

#include <chrono>

namespace platform::registry {

namespace {

LONG ReadFailure(int code)
{
    return ErrorFromSqlite(code, false);
}

LONG WriteFailure(int code)
{
    return ErrorFromSqlite(code, true);
}

}  // namespace

int64_t FileTimeNow()
{
    // 100-nanosecond ticks since 1601-01-01.
    constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochTicks + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

LONG SplitPath(LPCWSTR path, std::vector<std::u16string_view>* parts)
{
    parts->clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    std::u16string_view rest(path);
    while (!rest.empty()) {
        size_t slash = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, slash);
        if (part.empty())
            return ERROR_BAD_PATHNAME;
        if (part.size() > kMaxKeyNameUnits)
            return ERROR_INVALID_PARAMETER;
        parts->push_back(part);
        if (slash == std::u16string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return ERROR_SUCCESS;
}

LONG LoadKey(sqlite3* db, KeyId id, KeyRow* key)
{
    Statement select(db, "SELECT depth, readonly, written FROM keys WHERE id = ?");
    select.Bind(1, id);
    int step = select.Step();
    if (step == SQLITE_DONE)
        return ERROR_KEY_DELETED;
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    key->id = id;
    key->depth = select.Integer(0);
    key->readOnly = select.Integer(1) != 0;
    key->written = select.Integer(2);
    return ERROR_SUCCESS;
}

LONG FindChild(sqlite3* db, KeyId parent, std::u16string_view name, KeyRow* child)
{
    Statement select(db, "SELECT id, depth, readonly, written FROM keys WHERE parent = ? AND folded = ?");
    select.Bind(1, parent).BindBlob(2, FoldedBytes(name));
    int step = select.Step();
    if (step == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    child->id = select.Integer(0);
    child->depth = select.Integer(1);
    child->readOnly = select.Integer(2) != 0;
    child->written = select.Integer(3);
    return ERROR_SUCCESS;
}

LONG InsertChild(sqlite3* db, const KeyRow& parent, std::u16string_view name, KeyRow* child)
{
    if (parent.depth + 1 > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    int64_t now = FileTimeNow();
    Statement insert(db, "INSERT INTO keys(parent, name, folded, depth, written) VALUES(?, ?, ?, ?, ?)");
    insert.Bind(1, parent.id).BindBlob(2, NameBytes(name)).BindBlob(3, FoldedBytes(name)).Bind(4, parent.depth + 1).Bind(5, now);
    int step = insert.Step();
    if (step != SQLITE_DONE)
        return WriteFailure(step);
    child->id = sqlite3_last_insert_rowid(db);
    child->depth = parent.depth + 1;
    child->readOnly = false;
    child->written = now;
    return ERROR_SUCCESS;
}

LONG SetReadOnly(sqlite3* db, KeyId id, bool readOnly)
{
    Statement update(db, "UPDATE keys SET readonly = ? WHERE id = ?");
    update.Bind(1, readOnly ? 1 : 0).Bind(2, id);
    int step = update.Step();
    return step == SQLITE_DONE ? ERROR_SUCCESS : WriteFailure(step);
}

LONG RemoveKey(sqlite3* db, KeyId id)
{
    Statement values(db, "DELETE FROM key_values WHERE key = ?");
    values.Bind(1, id);
    int step = values.Step();
    if (step != SQLITE_DONE)
        return WriteFailure(step);
    Statement key(db, "DELETE FROM keys WHERE id = ?");
    key.Bind(1, id);
    step = key.Step();
    return step == SQLITE_DONE ? ERROR_SUCCESS : WriteFailure(step);
}

LONG CountChildren(sqlite3* db, KeyId id, KeyCounts* counts)
{
    Statement keys(db, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?");
    keys.Bind(1, id);
    int step = keys.Step();
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    counts->subkeys = static_cast<DWORD>(keys.Integer(0));
    counts->longestSubkeyName = static_cast<DWORD>(keys.Integer(1) / 2);
    Statement values(db,
                     "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) "
                     "FROM key_values WHERE key = ?");
    values.Bind(1, id);
    step = values.Step();
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    counts->values = static_cast<DWORD>(values.Integer(0));
    counts->longestValueName = static_cast<DWORD>(values.Integer(1) / 2);
    counts->largestValueData = static_cast<DWORD>(values.Integer(2));
    return ERROR_SUCCESS;
}

LONG ChildAt(sqlite3* db, KeyId parent, DWORD index, std::u16string* name, int64_t* written)
{
    Statement select(db, "SELECT name, written FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    select.Bind(1, parent).Bind(2, static_cast<int64_t>(index));
    int step = select.Step();
    if (step == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    *name = NameFromBytes(select.Bytes(0));
    *written = select.Integer(1);
    return ERROR_SUCCESS;
}

LONG FindValue(sqlite3* db, KeyId key, std::u16string_view name, ValueRow* value)
{
    Statement select(db, "SELECT name, type, data FROM key_values WHERE key = ? AND folded = ?");
    select.Bind(1, key).BindBlob(2, FoldedBytes(name));
    int step = select.Step();
    if (step == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    value->name = NameFromBytes(select.Bytes(0));
    value->type = static_cast<DWORD>(select.Integer(1));
    value->data = select.Bytes(2);
    return ERROR_SUCCESS;
}

LONG StoreValue(sqlite3* db, KeyId key, const ValueRow& value)
{
    std::string folded = FoldedBytes(value.name);
    Statement update(db, "UPDATE key_values SET name = ?, type = ?, data = ? WHERE key = ? AND folded = ?");
    update.BindBlob(1, NameBytes(value.name)).Bind(2, static_cast<int64_t>(value.type)).BindBlob(3, value.data);
    update.Bind(4, key).BindBlob(5, folded);
    int step = update.Step();
    if (step != SQLITE_DONE)
        return WriteFailure(step);
    if (sqlite3_changes(db) == 0) {
        Statement insert(db, "INSERT INTO key_values(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)");
        insert.Bind(1, key).BindBlob(2, NameBytes(value.name)).BindBlob(3, folded).Bind(4, static_cast<int64_t>(value.type));
        insert.BindBlob(5, value.data);
        step = insert.Step();
        if (step != SQLITE_DONE)
            return WriteFailure(step);
    }
    return TouchKey(db, key);
}

LONG RemoveValue(sqlite3* db, KeyId key, std::u16string_view name)
{
    Statement remove(db, "DELETE FROM key_values WHERE key = ? AND folded = ?");
    remove.Bind(1, key).BindBlob(2, FoldedBytes(name));
    int step = remove.Step();
    if (step != SQLITE_DONE)
        return WriteFailure(step);
    if (sqlite3_changes(db) == 0)
        return ERROR_FILE_NOT_FOUND;
    return TouchKey(db, key);
}

LONG ValueAt(sqlite3* db, KeyId key, DWORD index, ValueRow* value)
{
    Statement select(db, "SELECT name, type, data FROM key_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    select.Bind(1, key).Bind(2, static_cast<int64_t>(index));
    int step = select.Step();
    if (step == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (step != SQLITE_ROW)
        return ReadFailure(step);
    value->name = NameFromBytes(select.Bytes(0));
    value->type = static_cast<DWORD>(select.Integer(1));
    value->data = select.Bytes(2);
    return ERROR_SUCCESS;
}

LONG TouchKey(sqlite3* db, KeyId id)
{
    Statement update(db, "UPDATE keys SET written = ? WHERE id = ?");
    update.Bind(1, FileTimeNow()).Bind(2, id);
    int step = update.Step();
    return step == SQLITE_DONE ? ERROR_SUCCESS : WriteFailure(step);
}

}  // namespace platform::registry
