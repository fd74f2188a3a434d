// The watchdog's thread. The resident size is the second field of
// /proc/self/statm, in pages, read again from the start of the descriptor
// opened before the sandbox.
#include "isolation/worker_watchdog.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace host::isolation {

Watchdog::Watchdog(unsigned long memoryMiB)
    : limitBytes(uint64_t(memoryMiB) << 20),
      statm(memoryMiB ? ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC) : -1)
{
}

void Watchdog::Start()
{
    std::thread([this] { Watch(); }).detach();
}

void Watchdog::Busy(bool now)
{
    {
        std::lock_guard<std::mutex> hold(lock);
        busy = now;
    }
    if (now)
        woken.notify_one();
}

void Watchdog::Watch()
{
    const pid_t host = ::getppid();
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        const bool watching = busy && statm >= 0;
        woken.wait_for(hold, watching ? std::chrono::milliseconds(10) : std::chrono::milliseconds(1000));
        if (::getppid() != host)
            ::_exit(0);  // the worker is now another process's child
        if (busy && statm >= 0 && OverLimit())
            ::_exit(kOverMemoryLimit);
    }
}

bool Watchdog::OverLimit() const
{
    char text[128];
    const ssize_t got = ::pread(statm, text, sizeof text - 1, 0);
    if (got <= 0)
        return false;
    text[got] = '\0';
    char* after = nullptr;
    std::strtoull(text, &after, 10);                              // the whole size
    const unsigned long long resident = std::strtoull(after, nullptr, 10);  // the resident pages
    return resident * uint64_t(::sysconf(_SC_PAGESIZE)) > limitBytes;
}

}  // namespace host::isolation
