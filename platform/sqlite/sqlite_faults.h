// A test seam: statements on one database file fail, one after another, as
// a full disk, a lock held too long, memory run out, an input or output
// error or a damaged page would make them fail. Only tests call it; the
// system's code runs its statements as ever. A statement counts once, at
// its first step (or at Execute), and fails before it runs, with its
// connection's error code and message set as SQLite sets them.
#pragma once

#include <string>

struct sqlite3;

namespace platform::sqlite {

// After `skip` more statements on the file at `path` (its name as SQLite
// opened it), the next `count` fail with `code` (SQLITE_FULL, ...); a
// negative `count`: every one after. An empty `path` ends the faults.
void FailStatements(const std::string& path, int code, int skip, int count);

// The statements counted on that file since FailStatements.
long StatementsCounted();

// Whether a statement of `db` is to fail now, and with what code: called at
// each statement's start, it counts the statement. 0 when not.
int StatementFault(sqlite3* db);

}  // namespace platform::sqlite
