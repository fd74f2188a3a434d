// One run of trellan index over some paths: the walk, the filter's jobs and
// the writer, with the index's files under the paths set against what the
// walk meets. A run touches only files under its paths.
#pragma once

#include "cli/commands.h"
#include "filtering/filter_jobs.h"
#include "index/store/database.h"
#include "index/run/left_out.h"

#include <string>
#include <vector>

namespace host::index {

struct RunSettings {
    FilterJobSettings jobs;
    unsigned long batchFiles = 3000;
    bool quiet = false;    // no progress, summary or failing files
    bool summary = true;   // the summary line at the end (when not quiet)
    bool summaryOfNothing = true;  // ... also for a run that met no file, added, changed or removed nothing
    // Every write goes into the transaction the caller holds (a rebuild in
    // place): nothing is committed, and the index is not read first.
    bool outerTransaction = false;
    // A failure to read or write the index is left to the caller to say (a
    // watcher says an outage once, not at every batch).
    bool callerSaysIndexFailure = false;
};

// What a run is over: its paths (absolute), of which `walked` are there to
// walk (the others are gone: their files leave the index), and file lists.
struct RunPaths {
    Arguments walked;
    std::vector<std::string> scope;  // the file system's bytes
    Arguments lists;
    bool nulSeparated = false;
    LeftOutRules leftOut;  // what files found by the walk or in the lists are not indexed
};

struct RunResult {
    int exitCode = 0;
    RunCounts counts;
    bool stopped = false;      // a signal stopped it
    bool indexFailed = false;  // the index could not be read or written
    Outcome failure;           // ... and why
};

RunResult RunIndexOnce(IndexDatabase& database, const RunPaths& paths, const RunSettings& settings);

}  // namespace host::index
