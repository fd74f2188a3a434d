// The index, whichever database holds it: a row per file (path, size,
// modification time, the filter's status by name, the host's cause of a
// failure), the title, author, comments and body text of every file that
// was filtered, the paths the index covers, a log of runs and the watchers
// that keep it current. Two back ends implement it, SQLite (one machine's
// file) and PostgreSQL (one database for many machines); OpenIndex picks
// one by the location, and nothing above this interface knows which.
#pragma once

#include "filtering/media_properties.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host::index {

// What makes a file "unchanged": its size, its last write time, its last
// change time (FILETIME ticks of 100 ns) and its file number. A tag editor
// that keeps the write time (and the size, through padding) still moves the
// change time; a file replaced by another keeps neither number.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    std::int64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

// A file as the index knows it.
struct KnownFile {
    std::int64_t id = 0;
    FileStamp stamp;
    bool failed = false;
    // It brought its filter down (a crash, a hang, the filter's memory
    // limit): it is not tried again until it or its filter changes.
    bool filterDown = false;
    // What it failed with, as FailureFingerprint gives it; 0 when it did not
    // fail. A run tells a file that fails as it did from a new failure.
    std::uint32_t failure = 0;
};

// A short fingerprint of a stored failure: its status and its cause, each
// as the index holds them, joined by a line break (the back ends read
// them so). Never 0.
inline std::uint32_t FailureFingerprint(std::string_view statusAndCause)
{
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char byte : statusAndCause)
        hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619u;
    return hash ? hash : 1;
}

// The SQL of that text, the same on both back ends.
inline constexpr const char* failureTextSql =
    "CASE WHEN failed THEN status || '\n' || coalesce(cause, '') END";

// The stored statuses of a file that brought its filter down, as an SQL list.
inline constexpr const char* filterDownStatuses =
    "('RPC_E_SERVERFAULT', 'RPC_E_TIMEOUT', 'HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA)')";

// The folders' rows a writer remembers at the most. A walk stores a
// folder's files together: the folders of its last stretch are what is
// worth remembering, and a library's every folder would grow a run's
// memory with the library.
inline constexpr size_t kRememberedFolders = 4096;

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
    // The failure is not the file's own (no filter, a module that does not
    // load, memory, a permission, the index): a row the index holds keeps
    // its texts, and the file is tried again at the next run.
    bool keep = false;
    std::string cause;   // the host's words for a failure
    std::string title, author, comments, body;
    MediaProperties media;
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
    bool kept = false;  // the texts of its last good filtering are still searched
};

// A path the index covers, the machine whose runs added it, and what its
// runs leave out: what the `excludes` globs match below the path.
struct CoveredPath {
    std::string path, machine;
    std::vector<std::string> excludes;
};

// A `trellan index --watch` that is running now.
struct RunningWatcher {
    std::string machine;
    std::int64_t process = 0;
    std::string since;  // local time, "YYYY-MM-DD HH:MM:SS"
};

struct SearchHit {
    std::string path;  // the file system's bytes
    std::string title, author;
    std::string album, albumArtist, genre, composer;
    std::int64_t year = 0, track = 0, disc = 0, duration = 0;  // 0: not given
    std::string snippet;  // the best passage, matches between the markers
    double rank = 0;      // lower is better
};

struct SnippetMarks {
    const char* open = "[";
    const char* close = "]";
};

// The order of hits; ties go by path, so that it is stable.
enum class SearchOrder {
    rank,      // files with the exact words first, then by weight
    title,
    artist,    // the author, then the title
    album,     // the album artist (else the artist), the album, the disc and the track
    year,      // the oldest first; files without a year last
    path,
    modified,  // the newest first
};

struct Query;

// What `trellan list` lists: each distinct value with its number of files.
enum class ListKind { artists, albums, genres, years, composers };

struct ListedValue {
    std::string value;
    std::int64_t files = 0;
    // Albums: the album's artist (its album artist, else its artists when
    // they agree) and year (when its files agree).
    std::string artist;
    std::int64_t year = 0;
};

// What an operation of the index came to: done, or the kind of failure
// its code tells (never its message's words), with the back end's message.
// What each failure leaves behind:
// - Inside a transaction, any failure leaves it to be rolled back (Rollback,
//   or a Transaction going): nothing of it stays. PostgreSQL has aborted it
//   already; SQLite may still hold the statements before the failed one.
// - refused: the data (a constraint, a value the index cannot take). The
//   failed statement changed nothing; the connection is usable, and the
//   same data is refused again.
// - locked, memory: passing (another writer held the index too long, or a
//   deadlock; the index ran short of memory). As refused, but the same
//   write may pass when tried again.
// - full: the disk (or the server's) is full. Reads still work; writes fail
//   until space is freed.
// - lost: the connection to the index's server is gone, and with it
//   whatever was not committed and the run's locks. Nothing works until
//   Reconnect makes a new one.
// - damaged: the index itself is damaged (SQLite leaves its damage mark, so
//   that every later command refuses it). Nothing more should be written;
//   `trellan index --rebuild` makes a new one.
// - other: anything else (input and output, permissions). The connection
//   is usable; a write may fail again.
enum class OutcomeKind { done, refused, locked, memory, full, lost, damaged, other };

struct [[nodiscard]] Outcome {
    OutcomeKind kind = OutcomeKind::done;
    std::string message;  // empty when done

    explicit operator bool() const { return kind == OutcomeKind::done; }
    // The same write may pass when tried again.
    bool Passing() const { return kind == OutcomeKind::locked || kind == OutcomeKind::memory; }
    // The index itself failed (a command's exit 3), rather than refusing
    // what was asked: the data, or a lock another run holds.
    bool OfTheIndex() const
    {
        return kind != OutcomeKind::done && kind != OutcomeKind::refused && kind != OutcomeKind::locked;
    }
};

inline Outcome Done()
{
    return {};
}

// What the index holds of one folder at a time, read beside a run that
// writes to the index (on a connection of its own): for a run whose memory
// must not grow with the library.
class KnownFolders {
public:
    virtual ~KnownFolders() = default;
    // Calls `know` for every file of `folder` alone; `id` gets the folder's
    // row, 0 when the index has no such folder.
    virtual Outcome Load(std::string_view folder, std::int64_t& id, const KnowFile& know) = 0;
    // Calls `know` for every file under any of `scope` in a folder whose row
    // `skipped` (sorted) does not hold.
    virtual Outcome LoadOthers(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                               const KnowFile& know) = 0;
};

// Every operation answers an Outcome. A read that fails may have filled
// its out-parameters in part: they count only when it is done.
class IndexDatabase {
public:
    virtual ~IndexDatabase() = default;
    // Whether the index is sound enough to write (SQLite's quick check):
    // damaged, saying why, when it is not.
    virtual Outcome CheckSound() { return Done(); }
    // After a lost connection: a new one, with the run's locks and the
    // watcher's record taken back; done at once while the connection holds.
    virtual Outcome Reconnect() { return Done(); }
    // The index for people: a SQLite file's path, a PostgreSQL connection
    // without its password.
    virtual std::string Name() const = 0;

    // Keeps any other run over these paths (file system bytes, absolute)
    // off this index until it is closed: locked when another run holds one
    // of them, or a path above or below one.
    virtual Outcome LockForRun(const std::vector<std::string>& paths) = 0;

    // Calls `know` for every file the index holds under any of `scope`
    // (a path, and everything below it when it is a folder).
    virtual Outcome LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know) = 0;
    // A reader of the same, folder by folder, while this index is written;
    // null where it cannot be opened (an index in memory).
    virtual std::unique_ptr<KnownFolders> ReadKnownFolders() { return nullptr; }

    // Writes go between Begin and Commit; Rollback undoes them, and cannot
    // fail in a way its caller could mend (a connection that cannot roll
    // back is lost, and the server rolls back when it goes).
    virtual Outcome Begin() = 0;
    // A failed commit leaves the transaction open until Rollback.
    virtual Outcome Commit() = 0;
    virtual void Rollback() = 0;
    // `knownId` is the file's row, 0 for a file the index does not hold yet.
    virtual Outcome Store(const IndexEntry& entry, std::int64_t knownId) = 0;
    virtual Outcome Remove(std::int64_t id) = 0;
    // Removes every file under `path`, as a rebuild in place does first.
    virtual Outcome RemoveUnder(const std::string& path) = 0;
    // Drops the folders that no file is in any more.
    virtual Outcome RemoveEmptyFolders() = 0;

    // The paths the index covers. AddPath adds one for this machine, unless
    // a covered path holds it already, and drops the ones it holds.
    virtual Outcome ReadPaths(std::vector<CoveredPath>& paths) = 0;
    Outcome AddPath(const std::string& path);
    // What a covered path's runs leave out, replaced.
    virtual Outcome SetExcludes(const CoveredPath& path) = 0;
    // Drops a covered path and every file under it, in one transaction;
    // refused, with nothing changed, when the index does not cover it.
    Outcome ForgetPath(const std::string& path, std::int64_t& removed);

    // The run log: a run is started before its first batch and finished
    // after its last; a run that never finished was cut short. StartRun
    // gives the run's number.
    virtual Outcome StartRun(std::int64_t& run) = 0;
    virtual Outcome FinishRun(std::int64_t run, const RunCounts& counts, bool complete) = 0;
    virtual Outcome ReadLastRun(LastRun& run) = 0;

    // A watcher says it is running until it stops (or its process ends).
    virtual Outcome StartWatching() = 0;
    virtual Outcome StopWatching() = 0;
    virtual Outcome ReadWatchers(std::vector<RunningWatcher>& watchers) = 0;

    virtual Outcome CountByStatus(std::vector<StatusCount>& counts) = 0;
    virtual Outcome ListFailures(std::vector<FailedFile>& files) = 0;
    // The full-text index checked against what it indexes: damaged, saying
    // what does not match, when it is not what its texts make.
    virtual Outcome CheckIntegrity() = 0;

    // At most `limit` hits (0: all) in `order`; `total` is the number of
    // files that match, whatever the limit. A query the parser took is
    // never malformed here: a failure is the index's.
    virtual Outcome Search(const Query& query, std::int64_t limit, const SnippetMarks& marks, SearchOrder order,
                           std::vector<SearchHit>& hits, std::int64_t& total) = 0;

    // The distinct values of `kind` over the files `query` finds (every
    // file when null), sorted, with their numbers of files.
    virtual Outcome List(ListKind kind, const Query* query, std::vector<ListedValue>& values) = 0;

protected:
    // A covered path of this machine's, added or dropped as it is.
    virtual Outcome InsertPath(const CoveredPath& path) = 0;
    virtual Outcome DropPath(const std::string& path, bool& dropped) = 0;

public:
    // Called at the end of a run: `wrote` tells whether it stored or
    // removed anything (SQLite then leaves its log for the next writer).
    // Nothing a caller could act on fails here.
    virtual void RunEnded(bool wrote) { (void)wrote; }

    // For an index opened as a replacement (OpenReplacement): closes it and
    // puts it in the place of the index it replaces, which is kept beside
    // it under the name `kept` gets.
    virtual Outcome TakePlace(std::string& kept)
    {
        (void)kept;
        return {OutcomeKind::other, "is no replacement"};
    }
    // For a replacement that did not finish: closes and deletes it.
    virtual void Discard() {}
};

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(IndexDatabase& database)
        : database(database), begin(database.Begin()), open(static_cast<bool>(begin))
    {
    }
    ~Transaction()
    {
        if (open)
            database.Rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // How Begin went.
    const Outcome& Begun() const { return begin; }
    // A failed commit is rolled back when the transaction goes.
    Outcome Commit()
    {
        if (!open)
            return begin;
        Outcome committed = database.Commit();
        open = !committed;
        return committed;
    }

private:
    IndexDatabase& database;
    const Outcome begin;
    bool open;
};

// A PostgreSQL connection string or URI ("postgresql://", "postgres://",
// or "key=value" words) names a PostgreSQL database; anything else is a
// SQLite file.
bool IsPostgresLocation(std::string_view location);

// What a command opens the index for.
enum class IndexUse {
    run,      // to write: the schema (and, for SQLite, the file and the folders of the default location)
              // made when missing, the index checked for damage first
    look,     // to read what runs keep (--status, the tests): nothing made
    salvage,  // as look, for a rebuild that reads the paths an index found damaged covers
    search,   // search and list: for PostgreSQL, no state kept in the session, so that a
              // connection pooler in transaction mode may stand between
};

// Opens the index at `location` for `use`. An index found damaged before
// is refused, but for salvage; a PostgreSQL index reached through a
// connection pooler is refused for all but search, since runs hold session
// locks. Null on failure, and `error` says why.
std::unique_ptr<IndexDatabase> OpenIndex(const std::string& location, IndexUse use, std::string& error);

// A new, empty index to take the place of the SQLite index at `location`
// once a run has filled it (TakePlace): a file beside it, holding its run
// lock, so that no run writes the old one meanwhile. Null on failure, and
// `error` says why. (A PostgreSQL index is rebuilt in place, path by path.)
std::unique_ptr<IndexDatabase> OpenReplacement(const std::string& location, std::string& error);

// What a command says of a failure of the index: its message as it is, or,
// for a damaged index, that it is damaged and how to make a new one.
std::string IndexProblem(const IndexDatabase& database, const Outcome& failure);

// What every command says of a damaged index, after its name.
inline constexpr const char* damagedAdvice = " is damaged; 'trellan index --rebuild' makes a new one";

// ${XDG_DATA_HOME:-$HOME/.local/share}/trellan/index.sqlite
std::string DefaultIndexPath();

// This machine's name, as covered paths and watchers record it.
std::string MachineName();

// A path's folder ("" for a name at the top) and its name.
std::pair<std::string, std::string> SplitPath(const std::string& path);

// Whether `path` is `scope` or lies under it.
bool IsUnder(std::string_view path, std::string_view scope);
// The bounds of the paths under the folder `root` in the order of their
// bytes: from `root` and '/' on, before `root` and '0' ('0' follows '/').
std::pair<std::string, std::string> PathsBelow(const std::string& root);

// Lines of text, as the globs of a covered path are stored; no empty ones.
std::vector<std::string> SplitLines(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace host::index
