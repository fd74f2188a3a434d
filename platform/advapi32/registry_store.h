// The key tree and the values as rows of the database. Every function runs
// inside the caller's transaction and answers a registry error code.
#pragma once

#include "advapi32/registry_database.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

struct KeyRow {
    KeyId id = 0;
    int64_t depth = 0;
    bool readOnly = false;
    int64_t written = 0;  // last write time, FILETIME ticks
};

struct ValueRow {
    std::u16string name;
    DWORD type = REG_NONE;
    std::string data;
};

struct KeyCounts {
    DWORD subkeys = 0;
    DWORD longestSubkeyName = 0;  // UTF-16 units
    DWORD values = 0;
    DWORD longestValueName = 0;   // UTF-16 units
    DWORD largestValueData = 0;   // bytes
};

// Splits a subkey path at backslashes. An empty or null path gives no parts;
// a trailing backslash is allowed. ERROR_BAD_PATHNAME for a leading or
// doubled backslash, ERROR_INVALID_PARAMETER for a part over 255 units.
LONG SplitPath(LPCWSTR path, std::vector<std::u16string_view>* parts);

// ERROR_KEY_DELETED when the key is gone.
LONG LoadKey(sqlite3* db, KeyId id, KeyRow* key);
// ERROR_FILE_NOT_FOUND when there is no such child.
LONG FindChild(sqlite3* db, KeyId parent, std::u16string_view name, KeyRow* child);
LONG InsertChild(sqlite3* db, const KeyRow& parent, std::u16string_view name, KeyRow* child);
LONG SetReadOnly(sqlite3* db, KeyId id, bool readOnly);
// Removes a key without subkeys and its values.
LONG RemoveKey(sqlite3* db, KeyId id);
LONG CountChildren(sqlite3* db, KeyId id, KeyCounts* counts);
// The child at `index` in name order; ERROR_NO_MORE_ITEMS past the end.
LONG ChildAt(sqlite3* db, KeyId parent, DWORD index, std::u16string* name, int64_t* written);

LONG FindValue(sqlite3* db, KeyId key, std::u16string_view name, ValueRow* value);
// Writes a value; an existing value of that name keeps its place.
LONG StoreValue(sqlite3* db, KeyId key, const ValueRow& value);
// ERROR_FILE_NOT_FOUND when there is no such value.
LONG RemoveValue(sqlite3* db, KeyId key, std::u16string_view name);
// The value at `index` in the order of first writing.
LONG ValueAt(sqlite3* db, KeyId key, DWORD index, ValueRow* value);

LONG TouchKey(sqlite3* db, KeyId id);
int64_t FileTimeNow();

}  // namespace platform::registry
