// A worker's watchdog: a thread of its own that ends the worker when the
// host is gone (a filter that hangs never lets the worker's loop see the
// socket close), and when the worker's resident memory passes its limit.
// It looks every 10 ms while the worker filters and every second while it
// waits, so that an idle worker costs nothing. A filter that takes memory
// faster than that can pass the limit by what it takes in 10 ms.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace host::isolation {

// The exit code of a worker that passed its memory limit.
constexpr int kOverMemoryLimit = 4;

class Watchdog {
public:
    // `memoryMiB` 0: no limit. Opens what it reads before the sandbox.
    explicit Watchdog(unsigned long memoryMiB);
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Starts the thread, which runs until the worker ends.
    void Start();
    // The worker begins or ends a batch.
    void Busy(bool busy);

private:
    void Watch();
    bool OverLimit() const;

    const uint64_t limitBytes;
    const int statm;  // /proc/self/statm, kept open
    std::mutex lock;
    std::condition_variable woken;
    bool busy = false;
};

}  // namespace host::isolation
