// Prints what --status shows: the last run, the files by status, the
// failures with their causes, the covered paths and the running watchers.
#include "index/commands/status.h"

#include "system/platform_differences.h"
#include "index/run/entry.h"
#include "cli/options.h"
#include "text/text_escape.h"

namespace host::index {
namespace {

void PrintLastRun(FILE* out, const LastRun& run)
{
    if (!run.exists) {
        std::fprintf(out, "last run: none\n");
        return;
    }
    if (run.finished.empty()) {
        std::fprintf(out, "last run: started %s and was cut short; the next run finishes the work\n",
                     run.started.c_str());
        return;
    }
    const RunCounts& counts = run.counts;
    std::fprintf(out,
                 "last run: %s, %.1f s: %lld new, %lld changed, %lld unchanged, %lld removed, %lld failed\n",
                 run.finished.c_str(), run.seconds, static_cast<long long>(counts.added),
                 static_cast<long long>(counts.changed), static_cast<long long>(counts.unchanged),
                 static_cast<long long>(counts.removed), static_cast<long long>(counts.failed));
}

}  // namespace

int PrintIndexStatus(FILE* out, IndexDatabase& database)
{
    LastRun run;
    std::vector<StatusCount> counts;
    std::vector<FailedFile> failures;
    std::vector<CoveredPath> paths;
    std::vector<RunningWatcher> watchers;
    if (const Outcome sound = database.CheckSound(); !sound) {
        const std::string problem = sound.kind == OutcomeKind::damaged
                                        ? damagedAdvice + (" (" + sound.message + ")")
                                        : " " + sound.message;
        std::fprintf(stderr, "trellan index: the index %s%s\n", PrintablePath(database.Name()).c_str(),
                     problem.c_str());
        return exitIndexFailed;
    }
    Outcome read = database.ReadLastRun(run);
    if (read)
        read = database.CountByStatus(counts);
    if (read)
        read = database.ListFailures(failures);
    if (read)
        read = database.ReadPaths(paths);
    if (read)
        read = database.ReadWatchers(watchers);
    if (!read) {
        std::fprintf(stderr, "trellan index: cannot read the index: %s\n", IndexProblem(database, read).c_str());
        return exitIndexFailed;
    }
    std::int64_t total = 0;
    for (const StatusCount& count : counts)
        total += count.files;

    std::fprintf(out, "index: %s\n", PrintablePath(database.Name()).c_str());
    std::fprintf(out, "paths:%s\n", paths.empty() ? " none" : "");
    for (const CoveredPath& path : paths) {
        std::string excludes;
        for (const std::string& glob : path.excludes)
            excludes += (excludes.empty() ? ", leaving out " : " ") + PrintablePath(glob);
        std::fprintf(out, "  %s (%s)%s\n", PrintablePath(path.path).c_str(), path.machine.c_str(), excludes.c_str());
    }
    if (watchers.empty())
        std::fprintf(out, "watcher: none\n");
    for (const RunningWatcher& watcher : watchers)
        std::fprintf(out, "watcher: running on %s (process %lld) since %s\n", watcher.machine.c_str(),
                     static_cast<long long>(watcher.process), watcher.since.c_str());
    PrintLastRun(out, run);
    std::fprintf(out, "files: %lld\n", static_cast<long long>(total));
    for (const StatusCount& count : counts)
        std::fprintf(out, "  %8lld  %s\n", static_cast<long long>(count.files), count.status.c_str());
    // The failing files by cause (they come sorted by it); those that keep
    // the texts of their last good filtering are still found by a search.
    if (!failures.empty())
        std::fprintf(out, "failing files, tried again at every run (one that brought its filter down waits until it "
                          "or its filter changes):\n");
    for (size_t first = 0; first < failures.size();) {
        size_t end = first;
        while (end < failures.size() && failures[end].cause == failures[first].cause)
            ++end;
        std::fprintf(out, "  %s (%zu %s)\n", failures[first].cause.empty() ? "no cause known"
                                                                             : PrintablePath(failures[first].cause).c_str(),
                     end - first, end - first == 1 ? "file" : "files");
        for (; first < end; ++first)
            std::fprintf(out, "    %s: %s%s\n", PrintablePath(failures[first].path).c_str(),
                         failures[first].status.c_str(),
                         failures[first].kept ? " (its last good texts are kept)" : "");
    }
    return exitSuccess;
}

}  // namespace host::index
