// The registry's tables and its predefined root keys.
#pragma once

#include <win32/windows.h>

#include <sqlite3.h>

#include <cstdint>

namespace platform::registry {

// Whether the database holds the registry's tables and root rows; answers
// an SQLite result code (a database without the tables is SQLITE_OK).
int CheckSchema(sqlite3* db, bool* present);

// Creates the tables and the root rows if the database lacks them; answers
// an SQLite result code.
int CreateSchema(sqlite3* db);

// The key id of a predefined root handle, or 0 when `key` is not one.
int64_t RootIdOf(HKEY key);

// True for the roots that hold no subkeys (performance data, dynamic data).
bool IsLeafRoot(int64_t id);

// The deepest a key may lie below its root, as on the platform.
constexpr int64_t kMaxKeyDepth = 512;
// The longest key name and value name, in UTF-16 units.
constexpr size_t kMaxKeyNameUnits = 255;
constexpr size_t kMaxValueNameUnits = 16383;

}  // namespace platform::registry
