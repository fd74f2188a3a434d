// Failures a test asked for, per registry function: after `skip` more calls
// succeed, the next `count` calls fail with the chosen error.
#include "advapi32/registry_seam.h"

#include <win32/seams.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct PlannedFailure {
    std::string function;
    LONG error;
    int skip;
    int count;
};

std::mutex seamLock;
std::vector<PlannedFailure> plannedFailures;
std::atomic<bool> anyPlanned{false};

}  // namespace

namespace platform::registry {

LONG SeamFailure(const char* function)
{
    if (!anyPlanned.load(std::memory_order_acquire))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(seamLock);
    for (PlannedFailure& plan : plannedFailures) {
        if (plan.count <= 0 || plan.function != function)
            continue;
        if (plan.skip > 0) {
            --plan.skip;
            return ERROR_SUCCESS;
        }
        --plan.count;
        return plan.error;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform::registry

extern "C" {

void PlatformSeam_FailRegistryCall(const char* function, LONG error, int skip, int count)
{
    if (!function)
        return;
    std::lock_guard<std::mutex> lock(seamLock);
    plannedFailures.push_back({function, error, skip < 0 ? 0 : skip, count});
    anyPlanned.store(true, std::memory_order_release);
}

void PlatformSeam_ClearRegistryFailures()
{
    std::lock_guard<std::mutex> lock(seamLock);
    plannedFailures.clear();
    anyPlanned.store(false, std::memory_order_release);
}

}  // extern "C"
