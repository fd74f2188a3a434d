// The index's own SQLite database: a row per file (path, size, modification
// time, the filter's status by name, the host's cause of a failure) and an
// FTS5 table with the title, author, comments and body text of every file
// that was filtered, under the file's row id.
#pragma once

#include "sqlite_statement.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::index {

using platform::sqlite::Connection;
using platform::sqlite::Statement;
using Transaction = platform::sqlite::WriteTransaction;

// What makes a file "unchanged": its size and its last write time (FILETIME
// ticks of 100 ns).
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

// A file as the index knows it.
struct KnownFile {
    std::int64_t id = 0;
    FileStamp stamp;
    bool failed = false;
};

// Paths are the file system's own bytes (the host's code page), so that
// any name, UTF-8 or not, finds its row again; a path is its folder's path,
// "/", and its name.
using KnowFile = std::function<void(std::string_view folder, std::string_view name, const KnownFile& file)>;

// One filtered file, ready to store. Text is UTF-8.
struct IndexEntry {
    std::string path;
    FileStamp stamp;
    std::string status;  // by name: "S_OK", "FILTER_E_ACCESS", or the number when it has none
    bool failed = false;
    std::string cause;   // the host's words for a failure
    std::string title, author, comments, body;
};

// Totals of one run, as the summary and the status show them.
struct RunCounts {
    std::int64_t added = 0, changed = 0, unchanged = 0, removed = 0, failed = 0;
};

struct LastRun {
    bool exists = false;
    std::string started, finished;  // local time, "YYYY-MM-DD HH:MM:SS"; finished empty when cut short
    double seconds = 0;
    RunCounts counts;
};

struct StatusCount {
    std::string status;
    std::int64_t files = 0;
};

struct FailedFile {
    std::string path, status, cause;
};

class IndexDatabase {
public:
    // Opens the index at `path`, creating it (and the folders of the default
    // location) when `create` is set, as a run does; without it (a search,
    // the status), the write-ahead log is left to the runs. On failure
    // `error` says why.
    bool Open(const std::string& path, bool create, std::string& error);
    // Closes the index and lets go of the run lock.
    void Close();
    std::string LastError() const { return connection.LastError(); }

    // Keeps any other run off this index until it is closed; false (and
    // `error` says so) when another run holds it.
    bool LockForRun(const std::string& path, std::string& error);

    // Calls `know` for every file the index holds.
    bool LoadKnownFiles(const KnowFile& know);

    // Writes: call inside a Transaction. `knownId` is the file's row, 0 for
    // a file the index does not hold yet.
    bool Store(const IndexEntry& entry, std::int64_t knownId);
    bool Remove(std::int64_t id);
    // Drops the folders that no file is in any more.
    bool RemoveEmptyFolders();
    // A transaction was rolled back: the folder rows it made are gone.
    void ForgetFolders() { folderIds.clear(); }
    Connection& Database() { return connection; }

    // The run log: a run is started before its first batch and finished
    // after its last; a run that never finished was cut short.
    std::int64_t StartRun();
    bool FinishRun(std::int64_t run, const RunCounts& counts, bool complete);
    bool ReadLastRun(LastRun& run);

    bool CountByStatus(std::vector<StatusCount>& counts);
    bool ListFailures(std::vector<FailedFile>& files);
    // FTS5's own check of its index against its content.
    bool CheckIntegrity(std::string& problem);
    // Leaves what the write-ahead log holds there at close, instead of
    // copying it into the file and waiting for the disk twice: for readers,
    // and for a run that wrote no more than its line in the run log. A run
    // that writes copies it all at close.
    void KeepLogAtClose();

private:
    bool CreateSchema(std::string& error);
    Statement& Cached(std::unique_ptr<Statement>& slot, const char* sql);
    // The row of a folder path, made if need be; 0 on failure.
    std::int64_t FolderId(const std::string& folder);

    // First, so that the statements are finalized before it closes.
    Connection connection;
    Connection runLock;
    std::unique_ptr<Statement> insertFolder, insertFile, updateFile, deleteFile, insertText, deleteText;
    std::unordered_map<std::string, std::int64_t> folderIds;
};

// ${XDG_DATA_HOME:-$HOME/.local/share}/trellan/index.sqlite
std::string DefaultIndexPath();

}  // namespace host::index
