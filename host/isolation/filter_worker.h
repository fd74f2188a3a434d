// A filter worker: the process that the host starts to filter files for it
// (the program trellan-filter-worker, beside the filter modules). It takes
// requests on the socket it was given, filters each file with the module
// the request names (loaded at its first use and kept), and answers with
// the file's record; it ends when the host closes the socket or goes.
#pragma once

namespace host::isolation {

// The descriptor number of the worker's socket, as the host hands it over.
constexpr int kWorkerSocket = 3;

// The worker's whole life, in the sandbox: when the host closes its side of
// the socket, the modules are asked whether they can unload, and the lines
// that say so (with `verbose`, each that can; always those that cannot) go
// back as a last message; the answer is 0 when all can, 3 when one cannot;
// 2 for a request it could not read.
constexpr int kModulesHeld = 3;
struct WorkerSettings {
    unsigned long memoryMiB = 0;  // the limit on its resident memory; 0: none
    bool verbose = false;         // the report names the modules that can unload too
};
int RunFilterWorker(const WorkerSettings& settings);

}  // namespace host::isolation
