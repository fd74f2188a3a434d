// trellan index --rebuild: a new index, every file filtered again, that
// takes the old one's place only once it is complete. SQLite builds it in a
// fresh file beside the old one, which is then kept as NAME.old; PostgreSQL
// rebuilds each path in one transaction. The paths are those given, else
// those the old index remembers (where it can still be read).
#include "index/run/rebuild.h"

#include "index/run/entry.h"
#include "index/sqlite/sqlite_index.h"
#include "system/platform_differences.h"
#include "cli/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace host::index {
namespace {

// The paths the old index covers (for PostgreSQL, this machine's); false
// with the reason printed when it cannot be read.
bool RememberedPaths(const std::string& location, RunPaths& paths)
{
    std::string error;
    std::unique_ptr<IndexDatabase> old = OpenIndex(location, IndexUse::salvage, error);
    std::vector<CoveredPath> covered;
    if (!old || !old->ReadPaths(covered)) {
        std::fprintf(stderr, "trellan index: %s; name the folders to index into a new one\n",
                     old ? IndexProblem(*old, old->LastError()).c_str() : error.c_str());
        return false;
    }
    const std::string machine = MachineName();
    for (const CoveredPath& path : covered)
        if (path.machine == machine || !IsPostgresLocation(location)) {
            paths.scope.push_back(path.path);
            paths.walked.push_back(PathFromListBytes(path.path));
            paths.leftOut.paths.push_back(path);  // with what its runs leave out
        }
    if (paths.scope.empty()) {
        std::fprintf(stderr, "trellan index: the index covers no path of this machine; name the folders to index\n");
        return false;
    }
    return true;
}

void RemoveWithCompanions(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        unlink((path + suffix).c_str());
    unlink(DamageMarkPath(path).c_str());
}

// Moves an index, its damage mark and its log to another name (a missing
// log is fine; an empty one, all of it checkpointed when the index was
// closed, is removed rather than left beside the moved index for ever).
bool MoveIndex(const std::string& from, const std::string& to)
{
    if (rename(from.c_str(), to.c_str()) != 0)
        return false;
    if (rename(DamageMarkPath(from).c_str(), DamageMarkPath(to).c_str()) != 0 && errno != ENOENT)
        return false;
    unlink((from + "-shm").c_str());
    const std::string log = from + "-wal";
    struct stat status {};
    if (stat(log.c_str(), &status) == 0 && status.st_size == 0)
        return unlink(log.c_str()) == 0 || errno == ENOENT;
    return rename(log.c_str(), (to + "-wal").c_str()) == 0 || errno == ENOENT;
}

int RebuildSqlite(const std::string& location, const RunPaths& paths, const RunSettings& settings)
{
    const std::string fresh = location + ".rebuild", old = location + ".old";
    RemoveWithCompanions(fresh);
    int exitCode = exitIndexFailed;
    {
        SqliteIndex index;
        std::string error;
        index.LockAs(location);  // no run may write the old index meanwhile
        if (!index.Open(fresh, true, error) || !index.LockForRun({}, error)) {
            std::fprintf(stderr, "trellan index: %s\n", error.c_str());
            RemoveWithCompanions(fresh);
            return error.starts_with("another") ? exitFailure : exitIndexFailed;
        }
        for (const std::string& path : paths.scope)
            index.AddPath(path);
        for (const CoveredPath& rules : paths.leftOut.paths)
            index.SetExcludes(rules);
        const RunResult result = RunIndexOnce(index, paths, settings);
        if (result.stopped || result.indexFailed) {
            index.CloseIndex();
            RemoveWithCompanions(fresh);
            std::fprintf(stderr, "trellan index: the rebuild did not finish; %s is as it was\n", location.c_str());
            return result.exitCode;
        }
        // Complete: the old index steps aside, kept, and the new one takes
        // its name, while the run lock still keeps other runs off.
        index.CloseIndex();
        RemoveWithCompanions(old);
        if ((access(location.c_str(), F_OK) == 0 && !MoveIndex(location, old)) || !MoveIndex(fresh, location)) {
            std::fprintf(stderr, "trellan index: cannot put the new index in place of %s: %s\n", location.c_str(),
                         std::strerror(errno));
            return exitIndexFailed;
        }
        exitCode = result.exitCode;
    }
    if (!settings.quiet)
        std::fprintf(stderr, "trellan index: %s is new; the old index is kept as %s\n", location.c_str(), old.c_str());
    return exitCode;
}

int RebuildPostgres(const std::string& location, const RunPaths& paths, const RunSettings& settings)
{
    std::string error;
    std::unique_ptr<IndexDatabase> database = OpenIndex(location, IndexUse::run, error);
    if (!database) {
        std::fprintf(stderr, "trellan index: %s\n", error.c_str());
        return exitIndexFailed;
    }
    RunSettings inPlace = settings;
    inPlace.outerTransaction = true;
    int exitCode = exitSuccess;
    for (size_t i = 0; i < paths.scope.size(); ++i) {
        const std::string& path = paths.scope[i];
        if (!database->LockForRun({path}, error)) {
            std::fprintf(stderr, "trellan index: %s\n", error.c_str());
            return exitFailure;
        }
        database->AddPath(path);
        // One transaction a path: its files go and come back together, so a
        // search sees the old ones until the new ones are all there.
        Transaction rebuilt(*database);
        RunPaths one;
        one.scope = {path};
        one.walked = {paths.walked[i]};
        one.leftOut = paths.leftOut;
        if (!rebuilt.Begun() || !database->RemoveUnder(path)) {
            std::fprintf(stderr, "trellan index: cannot write to the index: %s\n", database->LastError().c_str());
            return exitIndexFailed;
        }
        const RunResult result = RunIndexOnce(*database, one, inPlace);
        if (result.stopped || result.indexFailed)
            return result.exitCode;  // rolled back: the path's files are as they were
        if (!rebuilt.Commit()) {
            std::fprintf(stderr, "trellan index: cannot write to the index: %s\n", database->LastError().c_str());
            return exitIndexFailed;
        }
        exitCode = std::max(exitCode, result.exitCode);
    }
    return exitCode;
}

}  // namespace

int RebuildIndex(const std::string& location, RunPaths paths, const RunSettings& settings)
{
    if (paths.scope.empty() && !RememberedPaths(location, paths))
        return exitUsage;
    return IsPostgresLocation(location) ? RebuildPostgres(location, paths, settings)
                                        : RebuildSqlite(location, paths, settings);
}

}  // namespace host::index
