#include "index/status.h"

#include "system/platform_differences.h"
#include "index/entry.h"
#include "cli/options.h"
#include "text/text_escape.h"

namespace host::index {
namespace {

// A path or a cause for people: control characters escaped.
std::string Printable(std::string_view bytes)
{
    std::string out;
    AppendEscaped(out, PathFromListBytes(bytes), Escaping::terminal);
    return out;
}

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
    if (!database.ReadLastRun(run) || !database.CountByStatus(counts) || !database.ListFailures(failures) ||
        !database.ReadPaths(paths) || !database.ReadWatchers(watchers)) {
        std::fprintf(stderr, "trellan index: cannot read the index: %s\n", database.LastError().c_str());
        return exitFailure;
    }
    std::int64_t total = 0;
    for (const StatusCount& count : counts)
        total += count.files;

    std::fprintf(out, "index: %s\n", Printable(database.Name()).c_str());
    std::fprintf(out, "paths:%s\n", paths.empty() ? " none" : "");
    for (const CoveredPath& path : paths)
        std::fprintf(out, "  %s (%s)\n", Printable(path.path).c_str(), path.machine.c_str());
    if (watchers.empty())
        std::fprintf(out, "watcher: none\n");
    for (const RunningWatcher& watcher : watchers)
        std::fprintf(out, "watcher: running on %s (process %lld) since %s\n", watcher.machine.c_str(),
                     static_cast<long long>(watcher.process), watcher.since.c_str());
    PrintLastRun(out, run);
    std::fprintf(out, "files: %lld\n", static_cast<long long>(total));
    for (const StatusCount& count : counts)
        std::fprintf(out, "  %8lld  %s\n", static_cast<long long>(count.files), count.status.c_str());
    if (!failures.empty())
        std::fprintf(out, "failing files:\n");
    for (const FailedFile& file : failures)
        std::fprintf(out, "  %s: %s%s%s\n", Printable(file.path).c_str(), file.status.c_str(),
                     file.cause.empty() ? "" : ": ", file.cause.c_str());
    return exitSuccess;
}

}  // namespace host::index
