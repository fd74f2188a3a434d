// Filters many files on several threads through one FilterLoader, handing
// the results back in the order the files came.
#pragma once

#include "filtering/file_record.h"
#include "filtering/filter_isolation.h"
#include "filtering/filter_loader.h"
#include "filtering/filter_lookup.h"

#include <functional>
#include <memory>

namespace host {

struct FilterJobSettings {
    unsigned jobs = 0;        // files filtered at once (threads, or workers); 0: one for each processor
    ULONG bufferUnits = 256;  // GetText's buffer
    Binding binding = Binding::automatic;
    // After a good walk, the file's media properties are read too, by the
    // job that filtered it, through the filter's stream where it had one.
    bool readProperties = false;
    // Where to filter: in worker processes, or (null) in this process.
    FilterIsolation* isolation = nullptr;
};

// One file's trip through the runner. A command derives its own job, with
// what it planned for the file and what it makes of the chunks. A job whose
// record comes with `skipped` set, or with a failed status, is not filtered
// but handed on as it is (a folder that could not be read, say).
class FileJob {
public:
    virtual ~FileJob() = default;

    // Runs on the thread that filtered the file, right after: the place
    // for work that may run in parallel, such as formatting the output.
    // The record's chunks and its stream are given up after it, so that a
    // file waiting for those before it holds only what Finish made of them.
    virtual void Finish() {}
    // Forgets what Finish made: the file is to be filtered again. (A file
    // done while another failed for memory gives its memory back for that
    // file's second try, and is filtered again after it.)
    virtual void Discard() {}
    // Runs one call at a time, in the order the jobs came, as soon as this
    // file and all before it are done.
    virtual void Deliver() = 0;

    FileRecord record;
};

// The next job; null when there are no more. Called one call at a time,
// from any of the threads.
using NextJob = std::function<std::unique_ptr<FileJob>()>;

// Each file gets its own filter object from the module's class factory,
// created on the thread that filters it. At most a few files per thread
// are in flight at once, so memory does not grow with the number of files.
// A file that fails without a cause of its own gets the host's
// (DescribeFailure). False when the host ran out of memory and stopped
// before the end.
bool RunFilterJobs(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings,
                   const NextJob& next);

// One file through the filter that `location` names, in this process:
// object creation, the binding (through the record's stream when it has
// one), Init, the chunk walk, the properties when the settings ask, and the
// host's cause of a failure. What a filtering job does in process, and what
// a worker does for the parent.
void FilterFoundFile(FilterLoader& loader, const FilterLocation& location, const FilterJobSettings& settings,
                     FileRecord& record);

}  // namespace host
