// HKEY_CLASSES_ROOT as the platform has it: a view of the machine's classes
// (HKEY_LOCAL_MACHINE\Software\Classes) overlaid by the user's
// (HKEY_CURRENT_USER\Software\Classes). A path through the predefined
// handle reads the user's key where it exists, else the machine's; a key
// created through it goes to the user's classes where the user's part of
// the path reaches at least as deep as the machine's, else to the
// machine's. Keys opened through the view are keys of one side: what is
// opened below them stays on that side.
#pragma once

#include "advapi32/registry_store.h"

#include <string_view>
#include <vector>

namespace platform::registry {

// The row of the HKEY_CLASSES_ROOT root, which holds no keys of its own
// once a database is migrated.
constexpr KeyId kClassesRootId = 1;

// The key that the HKEY_CLASSES_ROOT root stands for: the machine's classes
// (the root row itself in a read-only database not yet migrated).
LONG ClassesRootKey(sqlite3* db, KeyRow* key);

// The key that `parts` names through the view; ERROR_FILE_NOT_FOUND when
// no side has it.
LONG ResolveClassesPath(sqlite3* db, const std::vector<std::u16string_view>& parts, KeyRow* key);

// The key under which a path of `parts` is created through the view: the
// user's classes or the machine's.
LONG ClassesCreateBase(sqlite3* db, const std::vector<std::u16string_view>& parts, KeyRow* base);

// Makes HKEY_LOCAL_MACHINE\Software\Classes, and moves what a registry of
// an earlier version kept under the HKEY_CLASSES_ROOT row there (a key both
// have is merged, the moved values winning). Does nothing, and takes no
// write lock, when there is nothing to do. Answers an SQLite result code.
int MigrateClassesRoot(sqlite3* db);

}  // namespace platform::registry
