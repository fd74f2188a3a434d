// trellan index --watch: after the first run, the run's folders are
// watched and every change is indexed once it has settled, in batches.
#pragma once

#include "index/run/index_run.h"

#include <chrono>

namespace host::index {

struct WatchSettings {
    unsigned long rescanSeconds = 300;  // what cannot be watched is walked again this often
    bool verbose = false;               // the summary of every batch
};

// The first run over `paths`, then the watch, until a signal stops it or
// watching fails.
RunResult WatchAndIndex(IndexDatabase& database, const RunPaths& paths, const RunSettings& settings,
                        const WatchSettings& watch);

// A seam for tests: how long a changed path must be quiet before it is
// indexed, and a file being written (by default 300 ms and 1 s). Answers
// the periods that were set before.
struct QuietPeriods {
    std::chrono::milliseconds quiet, writing;
};
QuietPeriods WatchSeam_SetQuietPeriods(QuietPeriods periods);

}  // namespace host::index
