// One run: the walk plans each file (skip, filter, retry or hold), the
// filter's jobs filter what needs it, and the writer stores the entries in
// the walk's order; the summary, the exit code and the advice on failures
// outside the files come at the end.
#include "index/run/index_run.h"

#include "system/platform_differences.h"
#include "text/text_conversion.h"
#include "index/run/entry.h"
#include "index/run/paths.h"
#include "index/run/plan.h"
#include "index/run/stop.h"
#include "index/run/writer.h"
#include "index/run/writer_thread.h"
#include "filtering/failure_cause.h"
#include "filtering/input_files.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "text/text_escape.h"
#include "text/status_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>

namespace host::index {
namespace {

// A batch is committed after the run's count of files, or this long,
// whichever comes first: a killed run loses at most that much work.
constexpr std::chrono::milliseconds batchTime(2000);

// What the walk decided for a file; its job carries it to the writer.
struct PlannedFile {
    Verdict verdict = Verdict::repeated;
    std::int64_t knownId = 0;
    std::uint32_t knownFailure = 0;  // what it failed with last time (FailureFingerprint), 0: none
    FileStamp stamp;
    bool stamped = false;  // the file could be looked at; else it is not stored
};

struct IndexRun {
    IndexPlan plan;
    BatchWriter writer;
    WriterThread background;
    Progress& progress;
    const bool quiet;
    std::vector<std::string> unreadFolders;  // the walk could not read them: their files stay
    std::vector<std::string> scope;          // the run's paths: only files under them may go
    LeftOutRules leftOut;
    bool listUnread = false;                 // a file list failed: no file can be judged gone
    Outcome unread;                          // what the index holds could not be read: the run ends
    // When the last run began: a filter module changed since then may no
    // longer fail on the files that brought it down.
    std::time_t lastRunStarted = 0;

    // The walk (`Plan`) and `Deliver` run at once on different threads.
    SlimLock countLock;
    RunCounts counts;
    std::int64_t knownFailures = 0;  // failed as at the last run, unchanged

    // Failures outside the files, by cause: they keep their rows, and the
    // end of the run says what to do about them.
    struct OutsideCause {
        std::int64_t files = 0;
        bool noFilter = false;  // the registry's: registering the filter again mends it
        bool filterDown = false;  // the files brought the filter down: held until they or it change
        HRESULT status = S_OK;
    };
    std::map<std::string, OutsideCause> outsideCauses;

    IndexRun(IndexDatabase& database, const RunSettings& settings, Progress& progress)
        : writer(database, settings.batchFiles, batchTime, settings.outerTransaction), background(writer),
          progress(progress), quiet(settings.quiet)
    {
    }

    void ReportFailure(const FileRecord& record)
    {
        if (quiet)
            return;
        std::string line = "trellan index: ";
        AppendEscaped(line, record.path, Escaping::terminal);
        line += ": " + StatusName(record.status) + (record.cause.empty() ? "" : ": " + record.cause) + "\n";
        std::fputs(line.c_str(), stderr);
    }

    // Whether the module of the file's filter was written or replaced after
    // the second the last run began in (the run log counts in seconds).
    bool FilterChanged(FilterFinder& finder, const std::u16string& path) const
    {
        FilterLocation location;
        std::string problem;
        struct stat module {};
        if (FAILED(finder.Find(path, location, problem)) ||
            ::stat(ToCodePage(CP_ACP, location.modulePath).c_str(), &module) != 0)
            return true;  // no module to hold it against: tried, and the failure says why
        return std::max(module.st_mtime, module.st_ctime) > lastRunStarted;
    }

    void SayPathGone(const std::u16string& path, const std::string& bytes) const
    {
        if (quiet)
            return;
        FailureCause cause;
        DescribePathProblem(path, cause);
        std::fprintf(stderr, "trellan index: %s: %s; the index keeps what it holds under it (a disk or share not "
                             "mounted?)\n",
                     PrintablePath(bytes).c_str(), cause.words.empty() ? "cannot be looked at" : cause.words.c_str());
    }

    // A file that is not filtered: unchanged, or one no filter is registered for.
    void CountSkipped(bool unchanged)
    {
        SlimLockHolder hold(countLock);
        progress.Add(false, true);
        counts.unchanged += unchanged;
    }

    // The walk's next file that needs the filter; null at the end. Files
    // to skip are counted here, without a trip through the filter's jobs.
    std::unique_ptr<FileJob> NextJob(InputFiles& inputs, FilterFinder& finder);
    // The walk ends where the index could not be read.
    std::unique_ptr<FileJob> Unread()
    {
        unread = plan.Failure();
        return nullptr;
    }

    // Counts a filtered file, in the order of the walk, and hands it to the
    // writer.
    void Deliver(const FileRecord& record, const PlannedFile& file, IndexEntry&& entry)
    {
        const bool failed = FAILED(record.status);
        // An unchanged file that fails as it did at the last run is no news:
        // it is counted, listed by --status, but neither said again nor a
        // reason for the run to fail.
        const bool known = failed && file.stamped && file.verdict == Verdict::retried && file.knownFailure &&
                           file.knownFailure == FailureFingerprint(entry.status + '\n' + entry.cause);
        {
            SlimLockHolder hold(countLock);
            progress.Add(failed, false);
            knownFailures += known;
            // New and changed files are counted as the writer commits them;
            // a path that is no file to look at (gone, a folder) is not stored.
            // Tried again, or kept as it was for want of its filter.
            counts.unchanged += file.stamped && (file.verdict == Verdict::retried || file.verdict == Verdict::unchanged);
        }
        if (failed && !known)
            ReportFailure(record);
        if (failed && record.outside && file.stamped) {
            SlimLockHolder hold(countLock);
            OutsideCause& cause = outsideCauses[record.cause];
            ++cause.files;
            cause.noFilter = record.noFilter;
            cause.filterDown = record.filterDown;
            cause.status = record.status;
        }
        if (file.stamped)
            background.Store(std::move(entry), file.knownId,
                             file.verdict == Verdict::added     ? Counted::added
                             : file.verdict == Verdict::changed ? Counted::changed
                                                                : Counted::nothing);
    }

    // Files the walk did not meet leave the index, but for those in folders
    // it could not read. False when a signal stopped it or a write failed.
    bool RemoveUnmet()
    {
        if (Outcome found = plan.FindUnvisited(scope); !found) {
            unread = std::move(found);
            return false;
        }
        for (std::int64_t id : plan.Unmet(unreadFolders, scope)) {
            if (StopSignal() || !writer.Remove(id))
                return false;
            ++counts.removed;
        }
        return true;
    }
};

// One file of the run: its texts converted where it was filtered, stored in
// the walk's order.
class IndexJob : public FileJob {
public:
    IndexJob(IndexRun& run, const PlannedFile& planned) : run(run), planned(planned) {}

    void Finish() override
    {
        if (planned.stamped)
            entry = EntryFromRecord(record, planned.stamp);
        finished = true;
    }
    void Discard() override
    {
        entry = IndexEntry{};
        finished = false;
    }
    void Deliver() override
    {
        if (record.abandoned)
            return;  // given up at a stop: the file stays as the index had it
        if (planned.stamped && !finished)  // memory ran out before Finish: the failure is stored
            entry = EntryFromRecord(record, planned.stamp);
        run.Deliver(record, planned, std::move(entry));
    }

private:
    IndexRun& run;
    const PlannedFile planned;
    IndexEntry entry;
    bool finished = false;
};

std::unique_ptr<FileJob> IndexRun::NextJob(InputFiles& inputs, FilterFinder& finder)
{
    for (;;) {
        InputFile input;
        if (StopSignal() || background.Failed() || !inputs.Next(input))
            return nullptr;
        FileRecord record;
        record.path = IndexedPath(std::move(input.path));
        record.status = input.status;
        record.cause = std::move(input.problem);
        const std::string bytes = PathBytes(record.path);  // as the index and the system know it
        PlannedFile file;
        if (input.unreadList) {
            listUnread = true;
        } else if (FAILED(record.status)) {
            unreadFolders.push_back(bytes + "/");
        } else if (input.found && LeftOut(leftOut, bytes)) {
            // Excluded, or in a hidden folder: not indexed, and gone from
            // the index if it was there.
            CountSkipped(false);
            continue;
        } else if (input.found && !finder.HasFilter(record.path)) {
            // No filter for its type: a file the index holds keeps its row
            // (the registry may have lost the filter); others are not media.
            if (!plan.Knows(bytes) || !(file.stamped = StampOf(input, bytes, file.stamp))) {
                if (!plan.Failure())
                    return Unread();
                CountSkipped(false);
                continue;
            }
            file.verdict = plan.Classify(bytes, file.stamp, file.knownId, &file.knownFailure);
            if (file.verdict == Verdict::heldDown)
                file.verdict = Verdict::retried;  // its filter is gone: it fails for that, as every file of its kind
            FilterLocation none;
            record.status = finder.Find(record.path, none, record.cause);
            record.outside = record.noFilter = true;
        } else if ((file.stamped = StampOf(input, bytes, file.stamp))) {
            file.verdict = plan.Classify(bytes, file.stamp, file.knownId, &file.knownFailure);
            if (!plan.Failure())
                return Unread();
            if (file.verdict == Verdict::heldDown)
                file.verdict = FilterChanged(finder, record.path) ? Verdict::retried : Verdict::unchanged;
            if (file.verdict == Verdict::unchanged)
                CountSkipped(true);
            if (file.verdict == Verdict::unchanged || file.verdict == Verdict::repeated)
                continue;
        } else if (!input.found) {
            // A remembered path that is not there (a PATH given was looked
            // at before the run): its files stay, since an unmounted share
            // is not an empty one, and that is said once, not as a file
            // that failed.
            unreadFolders.push_back(bytes + "/");
            SayPathGone(record.path, bytes);
            continue;
        } else {
            // A file listed that is not there: the filter fails, and the
            // failure names its cause.
            file.verdict = Verdict::added;
        }
        auto job = std::make_unique<IndexJob>(*this, file);
        job->record = std::move(record);
        return job;
    }
}

// Whether the plan may read what the index holds folder by folder: a walk
// of folders alone, none within another, never comes back to a folder it
// has left.
bool FolderByFolder(const RunPaths& paths)
{
    if (!paths.lists.empty() || paths.scope.size() != paths.walked.size())
        return false;
    for (const std::string& path : paths.scope) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return false;
        for (const std::string& other : paths.scope)
            if (&other != &path && IsUnder(path, other))
                return false;
    }
    return true;
}

// One line for each cause of failures outside the files, with what to do.
void AdviseOnOutsideFailures(const std::map<std::string, IndexRun::OutsideCause>& causes)
{
    for (const auto& [cause, outside] : causes) {
        const std::int64_t files = outside.files;
        std::string line = "trellan index: " + std::to_string(files) +
                           (files == 1 ? " file keeps what the index held and is" : " files keep what the index held and are") +
                           (outside.filterDown ? " not tried again until the file or its filter changes (or --rebuild): "
                                               : " tried again at the next run: ") +
                           cause;
        if (outside.status == RPC_E_TIMEOUT) {
            line += "; --filter-timeout gives a filter longer";
        } else if (outside.status == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA)) {
            line += "; --filter-memory gives a filter more";
        } else if (outside.noFilter) {
            bool writable = false;
            std::string registry;
            OpenRegistry(&writable, &registry);
            line += " (in the registry " + registry + "); 'trellan register' registers the filter that ships "
                    "with Trellan";
        } else if (outside.status == E_OUTOFMEMORY) {
            line += "; run again with more memory free, or with --jobs 1";
        }
        std::fputs((line + "\n").c_str(), stderr);
    }
}

// When the index's last run began, in the system's time; 0 when it had none.
std::time_t LastRunStarted(IndexDatabase& database)
{
    LastRun last;
    std::tm started{};
    if (!database.ReadLastRun(last) || !last.exists ||
        !strptime(last.started.c_str(), "%Y-%m-%d %H:%M:%S", &started))
        return 0;
    started.tm_isdst = -1;  // the log holds local time
    return std::mktime(&started);
}

// After the progress summary's own counts (files, filtered, failed, skipped).
std::string Summary(const RunCounts& counts)
{
    return ", " + std::to_string(counts.added) + " new, " + std::to_string(counts.changed) + " changed, " +
           std::to_string(counts.unchanged) + " unchanged, " + std::to_string(counts.removed) + " removed";
}

}  // namespace

RunResult RunIndexOnce(IndexDatabase& database, const RunPaths& paths, const RunSettings& settings)
{
    const bool quiet = settings.quiet;
    Progress progress("index", quiet);
    IndexRun run(database, settings, progress);
    auto know = [&](std::string_view folder, std::string_view name, const KnownFile& file) {
        run.plan.Know(folder, name, file);
    };
    // A file list may name any file: the whole index is known, so that a
    // listed file finds its row, but only files under the paths may go.
    const std::vector<std::string> known = paths.lists.empty() ? paths.scope : std::vector<std::string>{"/"};
    run.scope = paths.scope;
    run.leftOut = paths.leftOut;
    // A run that cannot read what the index knows, or write its line in the
    // run log, ends before it walks: it could write nothing else.
    auto fail = [&](const char* what, Outcome why) {
        RunResult failed;
        failed.exitCode = host::exitIndexFailed;
        failed.indexFailed = true;
        failed.failure = std::move(why);
        if (!settings.callerSaysIndexFailure)
            std::fprintf(stderr, "trellan index: cannot %s the index: %s\n", what,
                         IndexProblem(database, failed.failure).c_str());
        return failed;
    };
    if (!settings.outerTransaction && FolderByFolder(paths))
        run.plan.ReadFoldersFrom(database.ReadKnownFolders());
    if (!settings.outerTransaction && !run.plan.ReadsFolderByFolder())
        if (Outcome read = database.LoadKnownFiles(known, know); !read)
            return fail("read", std::move(read));
    run.lastRunStarted = LastRunStarted(database);
    std::int64_t runId = 0;
    if (Outcome started = database.StartRun(runId); !started)
        return fail("write to", std::move(started));

    InputFiles inputs(paths.walked, paths.lists, paths.nulSeparated, [] { return StopSignal() != 0; });
    FilterFinder finder;
    bool walked = false;  // every file was planned: no stop for want of memory
    {
        FilterLoader loader;
        FilterJobSettings jobs = settings.jobs;
        jobs.readProperties = true;  // an entry holds what the file is, besides the filter's texts
        walked = RunFilterJobs(loader, finder, jobs, [&] { return run.NextJob(inputs, finder); });
        if (!walked)
            std::fprintf(stderr, "trellan index: the host ran out of memory; the run stops here\n");
        loader.CheckUnload(false);
    }
    run.background.Finish();
    bool written = !run.background.Failed() && run.writer.Commit() && run.unread;
    // Removals only after a whole walk: a run cut short has not met every
    // file. A run over file lists alone names no path to remove files under.
    bool complete = written && walked && !StopSignal() && !run.listUnread;
    if (complete && !run.scope.empty()) {
        const bool removed = run.RemoveUnmet();  // false: a signal stopped it, or a write failed
        written = run.writer.Commit() && (removed || StopSignal());
        complete = removed && written;
    }
    RunResult result;
    if (!written)
        result.failure = run.unread ? run.writer.Failure() : run.unread;
    if (complete && run.counts.removed)
        if (Outcome tidied = database.RemoveEmptyFolders(); !tidied) {
            written = complete = false;
            result.failure = std::move(tidied);
        }
    if (!written) {
        result.indexFailed = true;
        if (!settings.callerSaysIndexFailure)
            std::fprintf(stderr, "trellan index: cannot %s the index: %s\n", run.unread ? "write to" : "read",
                         IndexProblem(database, result.failure).c_str());
    }
    for (const RefusedFile& refused : run.writer.Refused()) {
        ++run.counts.failed;
        IndexRun::OutsideCause& cause = run.outsideCauses[refused.cause];
        ++cause.files;
        cause.status = refused.memory ? E_OUTOFMEMORY : E_FAIL;
        if (!quiet)
            std::fprintf(stderr, "trellan index: %s: %s\n", PrintablePath(refused.path).c_str(), refused.cause.c_str());
    }
    run.counts.failed += progress.Failed();
    run.counts.added = run.writer.Committed(Counted::added);
    run.counts.changed = run.writer.Committed(Counted::changed);
    // A run whose end cannot be logged has stored what it says; the log
    // shows it as cut short.
    (void)database.FinishRun(runId, run.counts, complete);
    database.RunEnded(run.writer.Wrote());
    const RunCounts& counts = run.counts;
    const bool nothing = !counts.added && !counts.changed && !counts.unchanged && !counts.removed && !counts.failed;
    if (settings.summary && (settings.summaryOfNothing || !nothing))
        progress.Finish(Summary(counts));
    if (!quiet && run.knownFailures)
        std::fprintf(stderr, "trellan index: %lld %s as at the last run, unchanged ('trellan index --status' lists "
                             "them)\n",
                     static_cast<long long>(run.knownFailures), run.knownFailures == 1 ? "file failed" : "files failed");
    if (!quiet)
        AdviseOnOutsideFailures(run.outsideCauses);
    result.counts = run.counts;
    result.exitCode = result.indexFailed              ? host::exitIndexFailed
                      : complete && run.counts.failed == run.knownFailures ? host::exitSuccess
                                                           : host::exitFailure;
    result.stopped = StopSignal() != 0;
    if (result.stopped)
        result.exitCode = 128 + StopSignal();  // as a shell reports a command that the signal ended: 130 for Ctrl-C
    return result;
}

}  // namespace host::index
