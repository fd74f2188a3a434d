// trellan index: filters a library into the index and keeps it current.
// Files whose size and modification time are unchanged are not filtered
// again; files the walk no longer meets leave the index. Writes go in
// batches of one transaction each, so a run that is interrupted or killed
// leaves a sound index, and the next run finishes the work.
#include "system/platform_specifics.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "filtering/filter_jobs.h"
#include "index/entry.h"
#include "index/paths.h"
#include "index/plan.h"
#include "index/status.h"
#include "index/stop.h"
#include "index/writer.h"
#include "index/writer_thread.h"
#include "filtering/input_files.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "registry/registry_session.h"
#include "text/text_escape.h"
#include "text/status_names.h"

#include <cstdio>
#include <memory>

namespace host {
namespace {

using namespace index;

// A batch is committed after this many files, or this long, whichever
// comes first: a killed run loses at most that much work.
constexpr unsigned long defaultBatchFiles = 3000;
constexpr std::chrono::milliseconds batchTime(2000);

const OptionRow indexOptions[] = {
    {"--db", 0, "FILE", "the index (default: ${XDG_DATA_HOME:-~/.local/share}/trellan/index.sqlite)"},
    {"--jobs", 'j', "N", "filter N files at once (default: one for each processor)"},
    {"--files-from", 0, "FILE", "also index the files listed in FILE, one a line ('-': standard input)"},
    {"--null", '0', nullptr, "the file lists are separated by NUL characters, not lines"},
    {"--batch", 0, "N", "commit to the index every N files (default 3000) and at least every 2 seconds"},
    {"--status", 0, nullptr, "show what the index holds: files by status, the last run, the failing files"},
    {"--quiet", 'q', nullptr, "no progress, no summary and no failing files on standard error"},
};

// What the walk decided for a file; its job carries it to the writer.
struct PlannedFile {
    Verdict verdict = Verdict::repeated;
    std::int64_t knownId = 0;
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
    bool listUnread = false;                 // a file list failed: no file can be judged gone

    // The walk (`Plan`) and `Deliver` run at once on different threads.
    SlimLock countLock;
    RunCounts counts;

    IndexRun(IndexDatabase& database, size_t batchFiles, Progress& progress, bool quiet)
        : writer(database, batchFiles, batchTime), background(writer), progress(progress), quiet(quiet)
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

    // A file that is not filtered: unchanged, or one no filter is registered for.
    void CountSkipped(bool unchanged)
    {
        SlimLockHolder hold(countLock);
        progress.Add(false, true);
        counts.unchanged += unchanged;
    }

    // The walk's next file that needs the filter; null at the end. Files
    // to skip are counted here, without a trip through the filter's jobs.
    std::unique_ptr<FileJob> Plan(InputFiles& inputs, FilterFinder& finder);

    // Counts a filtered file, in the order of the walk, and hands it to the
    // writer.
    void Deliver(const FileRecord& record, const PlannedFile& file, IndexEntry&& entry)
    {
        const bool failed = FAILED(record.status);
        {
            SlimLockHolder hold(countLock);
            progress.Add(failed, false);
            // A path that is no file to look at (gone, a folder) is not stored.
            counts.added += file.stamped && file.verdict == Verdict::added;
            counts.changed += file.stamped && file.verdict == Verdict::changed;
            counts.unchanged += file.stamped && file.verdict == Verdict::retried;
        }
        if (failed)
            ReportFailure(record);
        if (file.stamped)
            background.Store(std::move(entry), file.knownId);
    }

    // Files the walk did not meet leave the index, but for those in folders
    // it could not read. False when a signal stopped it or a write failed.
    bool RemoveUnmet()
    {
        for (std::int64_t id : plan.Unmet(unreadFolders)) {
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
    void Deliver() override
    {
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

std::unique_ptr<FileJob> IndexRun::Plan(InputFiles& inputs, FilterFinder& finder)
{
    for (;;) {
        InputFile input;
        if (StopSignal() || background.Failed() || !inputs.Next(input))
            return nullptr;
        FileRecord record;
        record.path = IndexedPath(std::move(input.path));
        record.status = input.status;
        record.cause = std::move(input.problem);
        PlannedFile file;
        if (input.unreadList) {
            listUnread = true;
        } else if (FAILED(record.status)) {
            unreadFolders.push_back(PathBytes(record.path) + "/");
        } else if (input.found && !finder.HasFilter(record.path)) {
            CountSkipped(false);
            continue;
        } else if ((file.stamped = StampOf(input, record.path, file.stamp))) {
            file.verdict = plan.Classify(PathBytes(record.path), file.stamp, file.knownId);
            if (file.verdict == Verdict::unchanged)
                CountSkipped(true);
            if (file.verdict == Verdict::unchanged || file.verdict == Verdict::repeated)
                continue;
        } else {
            file.verdict = Verdict::added;  // let the filter fail, and the failure name its cause
        }
        auto job = std::make_unique<IndexJob>(*this, file);
        job->record = std::move(record);
        return job;
    }
}

// After the progress summary's own counts (files, filtered, failed, skipped).
std::string Summary(const RunCounts& counts)
{
    return ", " + std::to_string(counts.added) + " new, " + std::to_string(counts.changed) + " changed, " +
           std::to_string(counts.unchanged) + " unchanged, " + std::to_string(counts.removed) + " removed";
}

struct IndexSettings {
    FilterJobSettings jobs;
    unsigned long batchFiles = defaultBatchFiles;
    bool quiet = false;
};

int IndexFiles(IndexDatabase& database, const ParsedArguments& parsed, const IndexSettings& settings)
{
    const bool quiet = settings.quiet;
    Progress progress("index", quiet);
    IndexRun run(database, settings.batchFiles, progress, quiet);
    auto know = [&](std::string_view folder, std::string_view name, const KnownFile& file) {
        run.plan.Know(folder, name, file);
    };
    if (!database.LoadKnownFiles(know)) {
        std::fprintf(stderr, "trellan index: cannot read the index: %s\n", database.LastError().c_str());
        return exitFailure;
    }
    const std::int64_t runId = database.StartRun();

    StopOnSignal stopOnSignal;
    Arguments operands;
    for (const std::u16string& operand : parsed.Operands())
        operands.push_back(IndexedPath(operand));
    InputFiles inputs(operands, parsed.Values("--files-from"), parsed.Has("--null"));
    FilterFinder finder;
    bool walked = false;  // every file was planned: no stop for want of memory
    {
        FilterLoader loader;
        walked = RunFilterJobs(loader, finder, settings.jobs, [&] { return run.Plan(inputs, finder); });
        if (!walked)
            std::fprintf(stderr, "trellan index: the host ran out of memory; the run stops here\n");
        loader.CheckUnload(false);
    }
    run.background.Finish();
    bool written = !run.background.Failed() && run.writer.Commit();
    // Removals only after a whole walk: a run cut short has not met every file.
    bool complete = written && walked && !StopSignal() && !run.listUnread;
    if (complete) {
        const bool removed = run.RemoveUnmet();  // false: a signal stopped it, or a write failed
        written = run.writer.Commit() && (removed || StopSignal());
        complete = removed && written;
    }
    if (complete && run.counts.removed && !database.RemoveEmptyFolders())
        written = complete = false;
    if (!written)
        std::fprintf(stderr, "trellan index: cannot write to the index: %s\n", database.LastError().c_str());
    run.counts.failed = progress.Failed();
    database.FinishRun(runId, run.counts, complete);
    if (!run.writer.Wrote())
        database.KeepLogAtClose();
    progress.Finish(Summary(run.counts));
    if (StopSignal()) {
        if (!quiet)
            std::fprintf(stderr, "trellan index: stopped; what was indexed is kept, and the next run goes on\n");
        return 128 + StopSignal();  // as a shell reports a command that the signal ended: 130 for Ctrl-C
    }
    return complete && run.counts.failed == 0 ? exitSuccess : exitFailure;
}

bool ReadSettings(const ParsedArguments& parsed, IndexSettings& settings)
{
    unsigned long jobs = 0;
    if (!ReadNumberOption(parsed, "index", "--jobs", 256, jobs) ||
        !ReadNumberOption(parsed, "index", "--batch", 1000000, settings.batchFiles))
        return false;
    settings.jobs.jobs = static_cast<unsigned>(jobs);
    settings.quiet = parsed.Has("--quiet");
    return true;
}

}  // namespace

const CommandSyntax indexSyntax = {
    "index", "PATH...",
    "Filters every file under the PATHs that a filter is registered for into a full-text index, and keeps it\n"
    "current: unchanged files (same size and modification time) are not filtered again, and files that are\n"
    "gone, or no longer under a PATH given, leave the index. Ctrl-C stops after the current batch; the next\n"
    "run goes on from there. 'trellan search' searches the index.",
    indexOptions, sizeof indexOptions / sizeof indexOptions[0], 0, SIZE_MAX};

int RunIndex(const ParsedArguments& parsed)
{
    const bool status = parsed.Has("--status");
    const bool hasInputs = !parsed.Operands().empty() || parsed.Has("--files-from");
    if (status == hasInputs) {
        std::fprintf(stderr, status ? "trellan index: --status takes no PATH\n"
                                    : "trellan index: name at least one folder, file or --files-from list\n");
        return exitUsage;
    }
    IndexSettings settings;
    if (!ReadSettings(parsed, settings))
        return exitUsage;

    const std::u16string* given = parsed.Value("--db");
    const std::string path = given ? PathBytes(*given) : DefaultIndexPath();
    IndexDatabase database;
    std::string error;
    if (!database.Open(path, !status, error)) {
        std::fprintf(stderr, "trellan index: %s\n", error.c_str());
        return exitFailure;
    }
    if (status)
        return PrintIndexStatus(stdout, database, path);
    if (!RegistryReady("trellan index", false))
        return exitFailure;
    if (!database.LockForRun(path, error)) {
        std::fprintf(stderr, "trellan index: %s\n", error.c_str());
        return exitFailure;
    }
    return IndexFiles(database, parsed, settings);
}

}  // namespace host
