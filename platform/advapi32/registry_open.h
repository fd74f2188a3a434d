// Finding and opening the registry database file.
#pragma once

#include <win32/windows.h>

#include <sqlite3.h>

#include <string>

namespace platform::registry {

// How long a registry call waits for the writers of other processes.
constexpr int kCallWaitMilliseconds = 30000;

struct OpenedDatabase {
    sqlite3* db = nullptr;        // null when the database cannot be used
    LONG error = ERROR_SUCCESS;   // why not, as a registry error code
    bool readOnly = false;        // it can be read but not written
    bool isFile = false;          // not the private in-memory registry
    std::string path;             // the file (or ":memory:")
};

// Opens $TRELLAN_REGISTRY (":memory:" for a private in-memory registry),
// else ${XDG_DATA_HOME:-$HOME/.local/share}/trellan/registry.sqlite, whose
// folders are made when missing; a chosen file's folder must exist
// (ERROR_PATH_NOT_FOUND). A file that cannot be written is opened for
// reading. ERROR_REGISTRY_CORRUPT for a file that is not a registry
// database or is damaged, ERROR_ACCESS_DENIED for one that cannot be read,
// ERROR_CANTOPEN for anything else that keeps it shut.
OpenedDatabase OpenRegistryDatabase();

}  // namespace platform::registry
