// trellan-filter-worker: the program of a filter worker, started by the
// host with its socket as descriptor 3 and its progress page as 4, and
// with --memory=MIB (0: no limit) and --verbose when the host's command
// has it. Not for people: run by hand it has neither and ends at once.
#include "isolation/filter_worker.h"

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A filter's crash ends the worker by its signal, as in a plain build, so
// that the host names it the same way: the sanitizer leaves the signal to
// the kernel.
extern "C" const char* __asan_default_options() { return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0"; }
extern "C" const char* __tsan_default_options() { return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0"; }
#endif

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
