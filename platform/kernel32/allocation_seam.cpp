// Counts allocations and fails the ones a test asked to fail.
#include "allocation_seam.h"

#include <win32/seams.h>

#include <atomic>

namespace {
std::atomic<long> allocationCount{0};
std::atomic<int> successesLeft{0};
std::atomic<int> failuresLeft{0};
}  // namespace

namespace platform {

bool AllocationShouldFail()
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (failuresLeft.load(std::memory_order_relaxed) <= 0)
        return false;
    if (successesLeft.fetch_sub(1, std::memory_order_relaxed) > 0)
        return false;
    return failuresLeft.fetch_sub(1, std::memory_order_relaxed) > 0;
}

}  // namespace platform

extern "C" {

void PlatformSeam_FailAllocations(int skip, int count)
{
    failuresLeft.store(0);
    successesLeft.store(skip);
    failuresLeft.store(count);
}

long PlatformSeam_AllocationCount()
{
    return allocationCount.load();
}

}  // extern "C"
