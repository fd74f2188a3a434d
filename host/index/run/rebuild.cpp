// trellan index --rebuild: a new index, every file filtered again, that
// takes the old one's place only once it is complete. SQLite builds it in a
// fresh file beside the old one, which is then kept as NAME.old; PostgreSQL
// rebuilds each path in one transaction. The paths are those given, else
// those the old index remembers (where it can still be read).
#include "index/run/rebuild.h"

#include "index/run/entry.h"
#include "system/platform_differences.h"
#include "cli/options.h"

#include <algorithm>
#include <cstdio>

namespace host::index {
namespace {

// The paths the old index covers (for PostgreSQL, this machine's); false
// with the reason printed when it cannot be read.
bool RememberedPaths(const std::string& location, RunPaths& paths)
{
    std::string error;
    std::unique_ptr<IndexDatabase> old = OpenIndex(location, IndexUse::salvage, error);
    std::vector<CoveredPath> covered;
    const Outcome read = old ? old->ReadPaths(covered) : Outcome{OutcomeKind::other, error};
    if (!read) {
        std::fprintf(stderr, "trellan index: %s; name the folders to index into a new one\n",
                     old ? IndexProblem(*old, read).c_str() : error.c_str());
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

// A new index beside the old one, filled by a run, then put in its place.
int RebuildBeside(const std::string& location, const RunPaths& paths, const RunSettings& settings)
{
    std::string error, kept;
    std::unique_ptr<IndexDatabase> index = OpenReplacement(location, error);
    Outcome made = index ? index->LockForRun({}) : Outcome{OutcomeKind::other, error};
    // The new index remembers the paths and what their runs leave out.
    for (size_t i = 0; made && i < paths.scope.size(); ++i)
        made = index->AddPath(paths.scope[i]);
    for (size_t i = 0; made && i < paths.leftOut.paths.size(); ++i)
        made = index->SetExcludes(paths.leftOut.paths[i]);
    if (!made) {
        std::fprintf(stderr, "trellan index: %s\n", made.message.c_str());
        if (index)
            index->Discard();
        return made.OfTheIndex() ? exitIndexFailed : exitFailure;
    }
    const RunResult result = RunIndexOnce(*index, paths, settings);
    if (result.stopped || result.indexFailed) {
        index->Discard();
        std::fprintf(stderr, "trellan index: the rebuild did not finish; %s is as it was\n", location.c_str());
        return result.exitCode;
    }
    if (const Outcome placed = index->TakePlace(kept); !placed) {
        std::fprintf(stderr, "trellan index: %s\n", placed.message.c_str());
        return exitIndexFailed;
    }
    index.reset();  // the run lock let go
    if (!settings.quiet)
        std::fprintf(stderr, "trellan index: %s is new; the old index is kept as %s\n", location.c_str(),
                     kept.c_str());
    return result.exitCode;
}

// Each path's files removed and indexed again in one transaction.
int RebuildInPlace(const std::string& location, const RunPaths& paths, const RunSettings& settings)
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
        if (const Outcome locked = database->LockForRun({path}); !locked) {
            std::fprintf(stderr, "trellan index: %s\n", locked.message.c_str());
            return locked.OfTheIndex() ? exitIndexFailed : exitFailure;
        }
        auto cannotWrite = [&](const Outcome& why) {
            std::fprintf(stderr, "trellan index: cannot write to the index: %s\n", IndexProblem(*database, why).c_str());
            return exitIndexFailed;
        };
        if (Outcome added = database->AddPath(path); !added)
            return cannotWrite(added);
        // One transaction a path: its files go and come back together, so a
        // search sees the old ones until the new ones are all there.
        Transaction rebuilt(*database);
        RunPaths one;
        one.scope = {path};
        one.walked = {paths.walked[i]};
        one.leftOut = paths.leftOut;
        if (!rebuilt.Begun())
            return cannotWrite(rebuilt.Begun());
        if (Outcome removed = database->RemoveUnder(path); !removed)
            return cannotWrite(removed);
        const RunResult result = RunIndexOnce(*database, one, inPlace);
        if (result.stopped || result.indexFailed)
            return result.exitCode;  // rolled back: the path's files are as they were
        if (Outcome committed = rebuilt.Commit(); !committed)
            return cannotWrite(committed);
        exitCode = std::max(exitCode, result.exitCode);
    }
    return exitCode;
}

}  // namespace

int RebuildIndex(const std::string& location, RunPaths paths, const RunSettings& settings)
{
    if (paths.scope.empty() && !RememberedPaths(location, paths))
        return exitUsage;
    return IsPostgresLocation(location) ? RebuildInPlace(location, paths, settings)
                                        : RebuildBeside(location, paths, settings);
}

}  // namespace host::index
