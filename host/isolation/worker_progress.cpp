// The shared progress page: an unnamed memory file (memfd), so that it
// travels to the worker as a descriptor across its exec.
#include "isolation/worker_progress.h"

#include <sys/mman.h>
#include <unistd.h>

#include <ctime>
#include <new>

namespace host::isolation {

void WorkerProgress::Begin(uint32_t batch, uint32_t file)
{
    since.store(MonotonicNanoseconds(), std::memory_order_relaxed);
    position.store(uint64_t(batch) << 32 | file, std::memory_order_release);
}

ProgressPage::~ProgressPage()
{
    if (progress)
        ::munmap(progress, sizeof(WorkerProgress));
    if (descriptor >= 0)
        ::close(descriptor);
}

bool ProgressPage::Create()
{
    const int created = ::memfd_create("trellan-worker-progress", MFD_CLOEXEC);
    if (created < 0)
        return false;
    if (::ftruncate(created, sizeof(WorkerProgress)) != 0 || !Map(created)) {
        ::close(created);
        descriptor = -1;
        return false;
    }
    new (progress) WorkerProgress;
    return true;
}

bool ProgressPage::Map(int given)
{
    void* mapped = ::mmap(nullptr, sizeof(WorkerProgress), PROT_READ | PROT_WRITE, MAP_SHARED, given, 0);
    if (mapped == MAP_FAILED)
        return false;
    descriptor = given;
    progress = static_cast<WorkerProgress*>(mapped);
    return true;
}

int64_t MonotonicNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace host::isolation
