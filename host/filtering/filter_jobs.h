// Filters many files on several threads through one FilterLoader, handing
// the results back in the order the files came.
#pragma once

#include "filtering/file_record.h"
#include "filtering/filter_loader.h"
#include "filtering/filter_lookup.h"

#include <functional>

namespace host {

struct FilterJobSettings {
    unsigned jobs = 0;        // threads that filter; 0: one for each processor
    ULONG bufferUnits = 256;  // GetText's buffer
};

// The next file to filter: false when there are no more. A record that
// comes back with `skipped` set, or with a failed status, is not filtered
// but handed on as it is (a folder that could not be read, say).
using NextFile = std::function<bool(FileRecord& record)>;
// Runs on the thread that filtered the file, right after: the place for
// work that may run in parallel, such as formatting the output.
using FinishFile = std::function<void(FileRecord& record)>;
// Runs one call at a time, in the order `next` gave the files, as soon as
// each file and all before it are done.
using DeliverFile = std::function<void(FileRecord& record)>;

// `next` is called one call at a time, from any of the threads. Each file
// gets its own filter object from the module's class factory, created on
// the thread that filters it. At most a few files per thread are in
// flight at once, so memory does not grow with the number of files. A file
// that fails without a cause of its own gets the host's (DescribeFailure).
// False when the host ran out of memory and stopped before the end.
bool RunFilterJobs(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings,
                   const NextFile& next, const FinishFile& finish, const DeliverFile& deliver);

}  // namespace host
