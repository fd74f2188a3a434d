// The SQL of the index's bookkeeping, the same on both back ends: a file's
// row, the covered paths, the end of a run in the run log, the watchers,
// and the counts and lists of files by status. Each statement is written
// once, with parameters numbered as SQLite writes them (?1) and a few words
// in braces that each back end says its own way (Spoken): the time now, a
// file's whole path, the texts' key. What differs more between the two
// (how a run starts, how the known files are read, the texts) stays with
// each back end.
#pragma once

#include <string>
#include <string_view>

namespace host::index {

// How a back end says what the statements leave open.
struct Dialect {
    char parameter;        // '?' (SQLite) or '$' (PostgreSQL), before a parameter's number
    const char* now;       // {now}: the time now, as its tables keep times
    const char* filePath;  // {path}: a file's whole path, from `folders` and `files`
    const char* textsKey;  // {texts}: the texts' column that holds their file's id
};

// `sql` as `dialect` says it.
std::string Spoken(std::string_view sql, const Dialect& dialect);

namespace bookkeeping {

// A file's state: ?3 size, ?4 modified, ?5 status, ?6 failed, ?7 cause,
// ?8 changed, ?9 inode, then its properties, ?10 album to ?17 duration.
// A new file's row: ?1 its folder's row, ?2 its name.
inline constexpr const char* insertFile =
    "INSERT INTO files (folder, name, size, modified, status, failed, cause, changed, inode, album, albumartist, "
    "genre, composer, year, track, disc, duration) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)";
// A known file's row: ?1 its id; ?2 whether it failed for a reason outside
// it, and so keeps the properties it had, as it keeps its texts.
inline constexpr const char* updateFile =
    "UPDATE files SET size = ?3, modified = ?4, status = ?5, failed = ?6, cause = ?7, changed = ?8, inode = ?9, "
    "album = CASE WHEN ?2 THEN album ELSE ?10 END, albumartist = CASE WHEN ?2 THEN albumartist ELSE ?11 END, "
    "genre = CASE WHEN ?2 THEN genre ELSE ?12 END, composer = CASE WHEN ?2 THEN composer ELSE ?13 END, "
    "year = CASE WHEN ?2 THEN year ELSE ?14 END, track = CASE WHEN ?2 THEN track ELSE ?15 END, "
    "disc = CASE WHEN ?2 THEN disc ELSE ?16 END, duration = CASE WHEN ?2 THEN duration ELSE ?17 END WHERE id = ?1";
inline constexpr const char* removeFile = "DELETE FROM files WHERE id = ?1";

inline constexpr const char* readPaths = "SELECT path, machine, excludes FROM paths ORDER BY path";
// ?1 the path, ?2 the machine, ?3 its excludes, a glob a line.
inline constexpr const char* insertPath = "INSERT INTO paths (path, machine, added, excludes) "
                                          "VALUES (?1, ?2, {now}, ?3) ON CONFLICT (path) DO NOTHING";
inline constexpr const char* setExcludes = "UPDATE paths SET excludes = ?2 WHERE path = ?1";
// A row when the path was covered.
inline constexpr const char* dropPath = "DELETE FROM paths WHERE path = ?1 RETURNING 1";

// ?1 the run, ?2 whether it was complete, ?3 to ?7 its counts.
inline constexpr const char* finishRun =
    "UPDATE runs SET finished = {now}, complete = ?2, added = ?3, changed = ?4, unchanged = ?5, removed = ?6, "
    "failed = ?7 WHERE id = ?1";

// ?1 the machine, ?2 the process; gives the watcher's row.
inline constexpr const char* startWatching =
    "INSERT INTO watchers (machine, process, started) VALUES (?1, ?2, {now}) RETURNING id";
inline constexpr const char* stopWatching = "DELETE FROM watchers WHERE id = ?1";

// Each status with its files, the good ones first, then the most common.
inline constexpr const char* countByStatus =
    "SELECT status, count(*) FROM files GROUP BY status, failed ORDER BY failed, count(*) DESC, status";
// The failed files: path, status, cause, and whether texts of an earlier
// filtering are kept.
inline constexpr const char* listFailures =
    "SELECT {path} AS path, status, cause, EXISTS (SELECT 1 FROM texts WHERE texts.{texts} = files.id) "
    "FROM files JOIN folders ON folders.id = files.folder WHERE failed ORDER BY cause, path";

}  // namespace bookkeeping
}  // namespace host::index
