// trellan-filter-worker: the program of a filter worker, started by the
// host with its socket as descriptor 3 and its progress page as 4, and
// with --memory=MIB (0: no limit) and --verbose when the host's command
// has it. Not for people: run by hand it has neither and ends at once.
#include "isolation/filter_worker.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    host::isolation::WorkerSettings settings;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            settings.verbose = true;
        else if (std::strncmp(argv[i], "--memory=", 9) == 0)
            settings.memoryMiB = std::strtoul(argv[i] + 9, nullptr, 10);
    }
    return host::isolation::RunFilterWorker(settings);
}
