// trellan index: filters a library into the index and keeps it current.
// Files whose stamp (size, modification and change times, file number) is
// unchanged are not filtered again; files under the run's paths that the walk no longer meets leave
// the index. Writes go in batches of one transaction each, so a run that
// is interrupted or killed leaves a sound index, and the next run finishes
// the work. The index remembers the paths it covers: a run without PATH
// goes over this machine's.
#include "system/platform_differences.h"
#include "cli/commands.h"
#include "cli/isolation_options.h"
#include "cli/options.h"
#include "filtering/failure_cause.h"
#include "index/run/entry.h"
#include "index/run/index_run.h"
#include "index/watch/index_watch.h"
#include "index/run/paths.h"
#include "index/run/rebuild.h"
#include "index/commands/index_reading.h"
#include "index/commands/status.h"
#include "index/run/stop.h"
#include "registry/registry_session.h"
#include "text/text_conversion.h"
#include "text/text_escape.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace host {
namespace {

using namespace index;

const OptionRow indexOptions[] = {
    {"--db", 0, "INDEX", "the index: a SQLite file, or a PostgreSQL connection string or URI (postgresql://...) "
                         "(default: ${XDG_DATA_HOME:-~/.local/share}/trellan/index.sqlite)"},
    {"--jobs", 'j', "N", "filter N files at once (default: one for each processor)"},
    {"--files-from", 0, "FILE", "also index the files listed in FILE, one a line ('-': standard input)"},
    {"--null", '0', nullptr, "the file lists are separated by NUL characters, not lines"},
    {"--batch", 0, "N", "commit to the index every N files (default 3000) and at least every 2 seconds"},
    {"--watch", 0, nullptr, "after the run, keep running and index every change under the paths (inotify)"},
    {"--rescan", 0, "SECONDS", "with --watch: how often to rescan what cannot be watched (default 300)"},
    {"--forget", 0, "PATH", "drop PATH from the index's paths, and its files from the index"},
    {"--exclude", 0, "GLOB", "leave out what GLOB matches below the path (may be given many times; remembered)"},
    {"--forget-exclude", 0, "GLOB", "index again what an --exclude GLOB left out"},
    {"--hidden", 0, nullptr, "index folders whose names start with a dot too (trash folders among them)"},
    {"--rebuild", 0, nullptr, "build the index anew, every file filtered again, over the PATHs or the ones it "
                              "remembers; the old one is replaced only once the new one is complete"},
    {"--status", 0, nullptr, "show what the index holds: paths, files by status, the last run, the failing files"},
    TRELLAN_ISOLATION_OPTION_ROWS,
    {"--quiet", 'q', nullptr, "no progress, no summary and no failing files on standard error"},
    {"--verbose", 'v', nullptr, "with --watch: a progress line and the summary of every batch"},
};

constexpr unsigned long defaultRescanSeconds = 300;

bool StopRequested()
{
    return StopSignal() != 0;
}

bool ReadSettings(const ParsedArguments& parsed, RunSettings& settings, WatchSettings& watch, IsolationLimits& limits)
{
    unsigned long jobs = 0;
    if (!ReadNumberOption(parsed, "index", "--jobs", 256, jobs) ||
        !ReadNumberOption(parsed, "index", "--batch", 1000000, settings.batchFiles) ||
        !ReadIsolationOptions(parsed, "index", limits))
        return false;
    if (parsed.Has("--rescan") && !parsed.Has("--watch")) {
        std::fprintf(stderr, "trellan index: --rescan is for --watch, which rescans what it cannot watch\n");
        return false;
    }
    watch.rescanSeconds = defaultRescanSeconds;
    if (!ReadNumberOption(parsed, "index", "--rescan", 86400 * 365, watch.rescanSeconds))
        return false;
    settings.jobs.jobs = static_cast<unsigned>(jobs);
    settings.quiet = parsed.Has("--quiet");
    watch.verbose = parsed.Has("--verbose") && !settings.quiet;
    return true;
}

// The run's paths: those named, else this machine's remembered ones. An
// exit code (and the reason printed) when there are none.
int RunPathsOf(IndexDatabase& database, const ParsedArguments& parsed, RunPaths& paths)
{
    for (const std::u16string& operand : parsed.Operands()) {
        paths.walked.push_back(IndexedPath(operand));
        paths.scope.push_back(PathBytes(paths.walked.back()));
    }
    paths.lists = parsed.Values("--files-from");
    paths.nulSeparated = parsed.Has("--null");
    if (!paths.walked.empty() || !paths.lists.empty())
        return exitSuccess;
    std::vector<CoveredPath> covered;
    if (const Outcome read = database.ReadPaths(covered); !read) {
        std::fprintf(stderr, "trellan index: cannot read the index: %s\n", IndexProblem(database, read).c_str());
        return exitIndexFailed;
    }
    const std::string machine = MachineName();
    for (const CoveredPath& path : covered)
        if (path.machine == machine) {
            paths.scope.push_back(path.path);
            paths.walked.push_back(PathFromListBytes(path.path));
        }
    if (paths.scope.empty()) {
        std::fprintf(stderr, "trellan index: the index covers no path of this machine yet; name at least one "
                             "folder, file or --files-from list\n");
        return exitUsage;
    }
    return exitSuccess;
}

// A PATH that is not there is a mistyped one (a path that vanished later,
// such as a share not mounted, keeps its files): refused before anything
// is created, registered or remembered, with the cause said.
bool PathsAreThere(const ParsedArguments& parsed)
{
    bool there = true;
    for (const std::u16string& operand : parsed.Operands()) {
        struct stat status {};
        if (::stat(PathBytes(IndexedPath(operand)).c_str(), &status) == 0)
            continue;
        FailureCause cause;
        DescribePathProblem(operand, cause);
        std::fprintf(stderr, "trellan index: %s: %s; nothing was indexed\n",
                     PrintablePath(PathBytes(IndexedPath(operand))).c_str(),
                     cause.words.empty() ? "cannot be looked at" : cause.words.c_str());
        there = false;
    }
    return there;
}

// A run without PATH or list goes over the paths the index remembers: a
// SQLite index that does not exist yet has none, and is not made for it.
bool NewIndexHasPaths(const ParsedArguments& parsed, const std::string& location)
{
    if (!parsed.Operands().empty() || parsed.Has("--files-from") || IsPostgresLocation(location))
        return true;
    struct stat status {};
    if (::stat(location.c_str(), &status) == 0)
        return true;
    std::fprintf(stderr, "trellan index: the index covers no path of this machine yet; name at least one folder, "
                         "file or --files-from list\n");
    return false;
}

// The exclusions given are remembered with the covered paths of this
// machine that hold the run's paths (all of them for a run over lists or
// the remembered paths), and the rules of those paths go with the run.
Outcome ApplyExcludes(IndexDatabase& database, const ParsedArguments& parsed, RunPaths& paths)
{
    std::vector<CoveredPath> covered;
    if (Outcome read = database.ReadPaths(covered); !read)
        return read;
    const std::string machine = MachineName();
    for (CoveredPath& path : covered) {
        bool ours = path.machine == machine && paths.scope.empty();
        for (const std::string& scope : paths.scope)
            ours = ours || (path.machine == machine && IsUnder(scope, path.path));
        if (!ours)
            continue;
        bool changed = false;
        for (const std::u16string& given : parsed.Values("--exclude")) {
            const std::string glob = PathBytes(given);
            if (std::find(path.excludes.begin(), path.excludes.end(), glob) == path.excludes.end()) {
                path.excludes.push_back(glob);
                changed = true;
            }
        }
        for (const std::u16string& given : parsed.Values("--forget-exclude")) {
            const auto found = std::find(path.excludes.begin(), path.excludes.end(), PathBytes(given));
            if (found != path.excludes.end()) {
                path.excludes.erase(found);
                changed = true;
            }
        }
        if (changed)
            if (Outcome set = database.SetExcludes(path); !set)
                return set;
        paths.leftOut.paths.push_back(std::move(path));
    }
    paths.leftOut.hidden = parsed.Has("--hidden");
    return Done();
}

int Forget(IndexDatabase& database, const ParsedArguments& parsed)
{
    const std::string path = PathBytes(IndexedPath(*parsed.Value("--forget")));
    std::int64_t removed = 0;
    Outcome forgotten = database.LockForRun({path});
    if (forgotten)
        forgotten = database.ForgetPath(path, removed);
    if (!forgotten) {
        std::fprintf(stderr, "trellan index: %s\n", IndexProblem(database, forgotten).c_str());
        return forgotten.OfTheIndex() ? exitIndexFailed : exitFailure;
    }
    if (!parsed.Has("--quiet")) {
        std::string line = "trellan index: ";
        AppendEscaped(line, PathFromListBytes(path), Escaping::terminal);
        line += " and its " + std::to_string(removed) + (removed == 1 ? " file are" : " files are") + " out of " +
                database.Name() + "\n";
        std::fputs(line.c_str(), stderr);
    }
    return exitSuccess;
}

}  // namespace

const CommandSyntax indexSyntax = {
    "index", "[PATH...]",
    "Filters every file under the PATHs that a filter is registered for into a full-text index, and keeps it\n"
    "current: unchanged files (same size, times and file number) are not filtered again, and files under a\n"
    "PATH that are gone leave the index. The index remembers its paths: without PATH, a run goes over the\n"
    "ones this machine gave before. --watch keeps running and indexes every change as it comes. Ctrl-C\n"
    "stops after the current batch; the next run goes on from there. 'trellan search' searches the index.",
    indexOptions, sizeof indexOptions / sizeof indexOptions[0], 0, SIZE_MAX};

int RunIndex(const ParsedArguments& parsed)
{
    const bool status = parsed.Has("--status");
    const bool forget = parsed.Has("--forget");
    const bool rebuild = parsed.Has("--rebuild");
    const bool hasInputs = !parsed.Operands().empty() || parsed.Has("--files-from");
    if ((status || forget) && (hasInputs || parsed.Has("--watch") || rebuild || (status && forget))) {
        std::fprintf(stderr, "trellan index: %s takes no PATH, --files-from, --watch or --rebuild, nor the other\n",
                     status ? "--status" : "--forget");
        return exitUsage;
    }
    if (rebuild && (parsed.Has("--watch") || parsed.Has("--files-from"))) {
        std::fprintf(stderr, "trellan index: --rebuild builds over folders, without --watch or --files-from\n");
        return exitUsage;
    }
    if (parsed.Has("--watch") && parsed.Has("--files-from")) {
        std::fprintf(stderr, "trellan index: --watch watches folders, not --files-from lists\n");
        return exitUsage;
    }
    RunSettings settings;
    WatchSettings watch;
    IsolationLimits limits;
    if (!ReadSettings(parsed, settings, watch, limits))
        return exitUsage;
    // Filters run in worker processes where the platform allows; a stop
    // gives up a file a filter still holds.
    std::unique_ptr<FilterIsolation> isolation = MakeFilterIsolation(limits, StopRequested);
    settings.jobs.isolation = isolation.get();

    std::string location;
    if (!IndexLocation(parsed, "index", location))
        return exitUsage;
    if (!status && !forget && !(PathsAreThere(parsed) && NewIndexHasPaths(parsed, location)))
        return exitUsage;
    if (rebuild) {
        RunPaths paths;
        for (const std::u16string& operand : parsed.Operands()) {
            paths.walked.push_back(IndexedPath(operand));
            paths.scope.push_back(PathBytes(paths.walked.back()));
        }
        if (!RegistryReady("trellan index", false))
            return exitFailure;
        paths.leftOut.hidden = parsed.Has("--hidden");
        StopOnSignal stopOnSignal;
        return RebuildIndex(location, std::move(paths), settings);
    }
    std::string error;
    std::unique_ptr<IndexDatabase> database = OpenIndex(location, status ? IndexUse::look : IndexUse::run, error);
    if (!database) {
        std::fprintf(stderr, "trellan index: %s\n", error.c_str());
        return exitIndexFailed;
    }
    if (status) {
        const int printed = PrintIndexStatus(stdout, *database);
        if (isolation)
            std::printf("filters: %s\n", isolation->Protections().c_str());
        return printed;
    }
    if (forget)
        return Forget(*database, parsed);
    RunPaths paths;
    if (const int problem = RunPathsOf(*database, parsed, paths))
        return problem;
    if (!RegistryReady("trellan index", false))
        return exitFailure;
    if (const Outcome locked = database->LockForRun(paths.lists.empty() ? paths.scope : std::vector<std::string>{"/"});
        !locked) {
        std::fprintf(stderr, "trellan index: %s\n", locked.message.c_str());
        return locked.OfTheIndex() ? exitIndexFailed : exitFailure;
    }
    // A path the index cannot remember would go unwatched by later runs
    // without PATH: the run stops, as for the exclusions.
    for (const std::string& path : paths.scope)
        if (const Outcome added = database->AddPath(path); !added) {
            std::fprintf(stderr, "trellan index: cannot remember the path: %s\n",
                         IndexProblem(*database, added).c_str());
            return exitIndexFailed;
        }
    if (const Outcome applied = ApplyExcludes(*database, parsed, paths); !applied) {
        std::fprintf(stderr, "trellan index: cannot remember the exclusions: %s\n",
                     IndexProblem(*database, applied).c_str());
        return exitIndexFailed;
    }

    StopOnSignal stopOnSignal;
    const RunResult result = parsed.Has("--watch") ? WatchAndIndex(*database, paths, settings, watch)
                                                   : RunIndexOnce(*database, paths, settings);
    if (result.stopped && !settings.quiet)
        std::fprintf(stderr, "trellan index: stopped; what was indexed is kept, and the next run goes on\n");
    return result.exitCode;
}

}  // namespace host
