// trellan dump: filters files and prints their chunks, as text for people
// or as one JSON object a line. Files are filtered on several threads and
// printed in the order they were named, as they finish.
#include "system/platform_differences.h"
#include "dump/chunk_printer.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "filtering/filter_jobs.h"
#include "filtering/input_files.h"
#include "cli/isolation_options.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "registry/registry_session.h"

#include <cstdio>

namespace host {
namespace {

const OptionRow dumpOptions[] = {
    {"--json", 0, nullptr, "print one JSON object a file"},
    {"--jobs", 'j', "N", "filter N files at once (default: one for each processor)"},
    {"--files-from", 0, "FILE", "also filter the files listed in FILE, one a line ('-': standard input)"},
    {"--null", '0', nullptr, "the file lists are separated by NUL characters, not lines"},
    {"--all", 0, nullptr, "report files found in folders or lists that no filter is registered for"},
    {"--module", 0, "PATH", "filter every file with this module; the registry is not asked"},
    {"--buffer", 0, "UNITS", "GetText's buffer, in UTF-16 units (default 256)"},
    {"--bind", 0, "HOW", "give the filter a stream over each file (IPersistStream, as Windows Search does) or its "
                          "path (IPersistFile): stream or path (default: a stream where the filter takes one)"},
    TRELLAN_ISOLATION_OPTION_ROWS,
    {"--quiet", 'q', nullptr, "no progress and no summary on standard error"},
    {"--verbose", 'v', nullptr, "also say how filters are isolated, and which modules can unload at the end"},
};

// Standard output through one buffer: written when it holds 64 KiB, with
// the first file delivered a tenth of a second or more after the last write
// (so that a reader of a pipe sees files soon after they finish), and after
// every file when people are watching.
class DumpOutput {
public:
    DumpOutput() : terminal(IsTerminal(STD_OUTPUT_HANDLE)) {}
    DumpOutput(const DumpOutput&) = delete;
    DumpOutput& operator=(const DumpOutput&) = delete;
    ~DumpOutput() { Flush(); }

    void Write(const std::string& text)
    {
        const ULONGLONG now = GetTickCount64();
        if (text.size() >= bufferSize) {
            // A large record goes out as it is, not copied into the buffer
            // (whose room would then stay taken for the rest of the run).
            Flush(now);
            Put(text);
            return;
        }
        pending += text;
        if (terminal || pending.size() >= bufferSize || now - flushedAt >= 100)
            Flush(now);
    }
    void Flush(ULONGLONG now = GetTickCount64())
    {
        Put(pending);
        pending.clear();
        flushedAt = now;
    }

private:
    static constexpr size_t bufferSize = 1 << 16;

    static void Put(const std::string& text)
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    const bool terminal;
    std::string pending;
    ULONGLONG flushedAt = GetTickCount64();
};

// One file of the dump: formatted where it was filtered, printed in order.
class DumpJob : public FileJob {
public:
    DumpJob(bool json, DumpOutput& output, Progress& progress) : json(json), output(output), progress(progress) {}

    void Finish() override
    {
        if (record.skipped)
            return;
        if (json)
            FormatFileJson(printed, record);
        else
            FormatFileText(printed, record);
    }
    void Discard() override { std::string().swap(printed); }
    void Deliver() override
    {
        progress.Add(FAILED(record.status), record.skipped);
        output.Write(printed);
    }

private:
    const bool json;
    DumpOutput& output;
    Progress& progress;
    std::string printed;  // the record as printed
};

struct DumpSettings {
    bool json = false;
    bool all = false;
    bool quiet = false;
    bool verbose = false;
    std::u16string module;
    FilterJobSettings jobs;
    IsolationLimits limits;
};

bool ReadSettings(const ParsedArguments& parsed, DumpSettings& settings)
{
    settings.json = parsed.Has("--json");
    settings.all = parsed.Has("--all");
    settings.quiet = parsed.Has("--quiet");
    settings.verbose = parsed.Has("--verbose");
    if (const std::u16string* module = parsed.Value("--module"))
        settings.module = *module;
    unsigned long jobs = settings.jobs.jobs, units = settings.jobs.bufferUnits;
    if (!ReadNumberOption(parsed, "dump", "--jobs", 256, jobs) ||
        !ReadNumberOption(parsed, "dump", "--buffer", 1 << 20, units) ||
        !ReadIsolationOptions(parsed, "dump", settings.limits))
        return false;
    settings.limits.verbose = settings.verbose;
    settings.jobs.jobs = static_cast<unsigned>(jobs);
    settings.jobs.bufferUnits = static_cast<ULONG>(units);
    if (const std::u16string* bind = parsed.Value("--bind")) {
        if (*bind == u"stream" || *bind == u"path") {
            settings.jobs.binding = *bind == u"stream" ? Binding::stream : Binding::path;
        } else {
            std::fprintf(stderr, "trellan dump: --bind takes stream or path, not '%s'\n", ToUtf8(*bind).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

const CommandSyntax dumpSyntax = {
    "dump", "[FILE|FOLDER]...",
    "Filters each file through the filter that the registry names for its extension and prints its chunks.\n"
    "Folders are walked recursively; there, and in file lists, files that no filter is registered for are\n"
    "skipped. A file that fails prints its status and the cause, and the command goes on.",
    dumpOptions, sizeof dumpOptions / sizeof dumpOptions[0], 0, SIZE_MAX};

int RunDump(const ParsedArguments& parsed)
{
    DumpSettings settings;
    if (!ReadSettings(parsed, settings))
        return exitUsage;
    const Arguments lists = parsed.Values("--files-from");
    if (parsed.Operands().empty() && lists.empty()) {
        std::fprintf(stderr, "trellan dump: name at least one file, folder or --files-from list\n");
        return exitUsage;
    }
    // Filters run in worker processes where the platform allows; they start
    // now, while the registry is opened.
    std::unique_ptr<FilterIsolation> isolation = MakeFilterIsolation(settings.limits);
    settings.jobs.isolation = isolation.get();
    if (isolation)
        isolation->Prepare();
    if (settings.module.empty() && !RegistryReady("trellan dump", false))
        return exitFailure;

    InputFiles inputs(parsed.Operands(), lists, parsed.Has("--null"));
    FilterFinder finder(settings.module);
    Progress progress("dump", settings.quiet);
    bool unloadFailed = false;
    bool stopped = false;  // memory ran out before the last file
    if (isolation && settings.verbose)
        std::fprintf(stderr, "trellan dump: %s\n", isolation->Protections().c_str());
    {
        DumpOutput output;
        FilterLoader loader;
        auto next = [&]() -> std::unique_ptr<FileJob> {
            InputFile input;
            if (!inputs.Next(input))
                return nullptr;
            auto job = std::make_unique<DumpJob>(settings.json, output, progress);
            FileRecord& record = job->record;
            record.path = std::move(input.path);
            record.status = input.status;
            record.cause = std::move(input.problem);
            record.skipped = input.found && !settings.all && SUCCEEDED(record.status) && !finder.HasFilter(record.path);
            return job;
        };
        if (!RunFilterJobs(loader, finder, settings.jobs, next)) {
            std::fprintf(stderr, "trellan dump: the host ran out of memory; the files after the last one shown were not filtered\n");
            stopped = true;
        }
        output.Flush();
        unloadFailed = !loader.CheckUnload(settings.verbose);
        if (isolation && !isolation->EndWorkers())
            unloadFailed = true;
    }
    progress.Finish();
    return progress.Failed() == 0 && !unloadFailed && !stopped ? exitSuccess : exitFailure;
}

}  // namespace host
