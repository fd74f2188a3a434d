// What a worker is filtering now, in a page that the host and the worker
// share: the batch, the file in it and since when. A worker answers once a
// batch; the host reads the page to tell which file a crash or a hang
// belongs to, and how long that file has taken, without a message a file.
#pragma once

#include <atomic>
#include <cstdint>

namespace host::isolation {

struct WorkerProgress {
    // The batch's number in the high half, the file's place in it in the
    // low half; written after `since`.
    std::atomic<uint64_t> position{~uint64_t(0)};
    // When the file began, in the nanoseconds of CLOCK_MONOTONIC.
    std::atomic<int64_t> since{0};

    void Begin(uint32_t batch, uint32_t file);
};

// The descriptor number of the page in the worker, as the host hands it over.
constexpr int kWorkerProgress = 4;

// The page, mapped: the host creates it for each worker, the worker maps
// the one it was given. Unmapped and closed at the end.
class ProgressPage {
public:
    ProgressPage() = default;
    ProgressPage(const ProgressPage&) = delete;
    ProgressPage& operator=(const ProgressPage&) = delete;
    ~ProgressPage();

    bool Create();                  // a new page; false when the system refuses one
    bool Map(int descriptor);       // the page behind `descriptor`, which it keeps
    int Descriptor() const { return descriptor; }
    WorkerProgress* operator->() const { return progress; }

private:
    int descriptor = -1;
    WorkerProgress* progress = nullptr;
};

// CLOCK_MONOTONIC now, in nanoseconds.
int64_t MonotonicNanoseconds();

}  // namespace host::isolation
