// Reading the filter workers' limits: a second to a day for a file, and
// 64 MiB (a worker's own start needs some) to 1 TiB of memory, or none.
#include "cli/isolation_options.h"

#include <cstdio>

namespace host {

bool ReadIsolationOptions(const ParsedArguments& parsed, const char* command, IsolationLimits& limits)
{
    if (!ReadNumberOption(parsed, command, "--filter-timeout", 86400, limits.timeoutSeconds, 1) ||
        !ReadNumberOption(parsed, command, "--filter-memory", 1u << 20, limits.memoryMiB, 0))
        return false;
    if (limits.memoryMiB != 0 && limits.memoryMiB < 64) {
        std::fprintf(stderr, "trellan %s: --filter-memory needs 64 MiB at least (or 0 for no limit), not %lu\n",
                     command, limits.memoryMiB);
        return false;
    }
    return true;
}

}  // namespace host
