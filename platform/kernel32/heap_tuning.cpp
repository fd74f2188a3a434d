// The process heap keeps the memory it has grown to, as the platform's heap
// does, instead of giving it back to the system after every large block.
// With the C library's defaults, a process that reads one file after
// another (the host's dump and index) grew and trimmed its heap, and mapped
// and unmapped each block over 128 KiB, once a file: a third of its time
// went to the kernel, faulting in and clearing the same pages again.
//
// Under a limit on the address space (ulimit -v) or the data segment, the
// address space is what runs out, so the heap keeps none of it back: every
// thread shares one arena (each further arena of the C library's reserves
// 64 MiB of address space), and large blocks are mapped and unmapped on
// their own rather than left in the heap, where freed space stays mapped.
// Otherwise a process with more threads, or one that read a large file
// before, could read fewer files under the same limit, and the same run
// would give other results with another number of jobs.
//
// The limits are read once, as the process starts, and kept for the
// editor's admission of each file's reading, which would otherwise ask the
// kernel twice a file: a limit is set before a program starts (ulimit, a
// service's settings), and the worker processes inherit theirs.
#include "memory_limits.h"

#include <win32/seams.h>

#include <malloc.h>
#include <sys/resource.h>

#include <atomic>

namespace {

// Freed memory kept, and blocks served from the heap, up to this size: the
// largest threshold the C library accepts on 64-bit systems.
constexpr int keptBytes = 32 << 20;
// The same under a memory limit.
constexpr int keptBytesUnderALimit = 256 << 10;

std::atomic<bool> limitedAtStart{false};

__attribute__((constructor)) void KeepHeapMemory()
{
    PlatformSeam_FitHeapToLimits();
}

}  // namespace

extern "C" void PlatformSeam_FitHeapToLimits()
{
    rlimit space{}, data{};
    const bool limited = (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) ||
                         (getrlimit(RLIMIT_DATA, &data) == 0 && data.rlim_cur != RLIM_INFINITY);
    limitedAtStart.store(limited, std::memory_order_relaxed);
    const int kept = limited ? keptBytesUnderALimit : keptBytes;
    mallopt(M_TRIM_THRESHOLD, kept);
    mallopt(M_MMAP_THRESHOLD, kept);
    if (limited)
        mallopt(M_ARENA_MAX, 1);
}

bool platform::MemoryLimited()
{
    return limitedAtStart.load(std::memory_order_relaxed);
}
