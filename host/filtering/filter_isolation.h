// Filtering out of process. Where the platform allows (Linux), each file is
// filtered in a worker process of its own kind: a pool of workers that load
// the filter modules and filter file after file, each under a time and a
// memory limit and in a sandbox without writes or network, and that are
// ended and replaced when they crash, hang or run out of memory; that costs
// the one file, never the run. Elsewhere (the Windows trellan.exe) filters
// run in process, and there is no isolation object.
#pragma once

#include "filtering/file_record.h"
#include "filtering/filter_lookup.h"

#include <memory>
#include <string>

namespace host {

struct FilterJobSettings;

struct IsolationLimits {
    unsigned long timeoutSeconds = 30;  // one file's filtering, at most
    unsigned long memoryMiB = 1024;     // a worker's resident memory; 0: none
    bool verbose = false;               // workers say at the end which modules can unload
};

// A file for a worker: its record, and the filter the host found for it.
struct IsolatedFile {
    FilterLocation location;
    FileRecord* record = nullptr;
};

class FilterIsolation {
public:
    virtual ~FilterIsolation() = default;

    // Starts the first worker ahead of the first files, so that its start
    // overlaps the host's own; the others start as batches find every
    // worker busy, so that a run of a few files costs one worker's start.
    virtual void Prepare() = 0;

    // Filters each file with the filter its location names, in a worker, as
    // the filtering job would in process: each record comes back with the
    // status, the cause of a failure, the chunks and (when the settings ask)
    // the media properties. A worker that crashed, took longer than the
    // time limit on a file or ran out of its memory limit is ended and
    // replaced; the file it was on fails with RPC_E_SERVERFAULT,
    // RPC_E_TIMEOUT or HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA) and
    // `filterDown` set, and the others go to another worker. A file that
    // failed for memory is tried once more alone in a fresh worker. Files
    // in flight when the run is asked to stop fail with E_ABORT and
    // `abandoned` set. Files after one whose texts made the batch's answer
    // large come back unfiltered, with `sentBack` set. Called on any
    // filtering thread, several at once.
    virtual void Filter(IsolatedFile* files, size_t count, const FilterJobSettings& settings) = 0;

    // Which protections hold for the workers on this machine, in one line.
    virtual std::string Protections() const = 0;

    // Ends every worker; each asks its modules whether they can unload
    // first, and reports those that cannot on standard error. False when
    // one could not.
    virtual bool EndWorkers() = 0;
};

// The isolation of this platform, or null where filters run in process.
// `stopRequested`, when given, is asked while a filter runs: once it says
// yes, the file in flight is given up and its worker ended.
std::unique_ptr<FilterIsolation> MakeFilterIsolation(const IsolationLimits& limits, bool (*stopRequested)() = nullptr);

}  // namespace host
