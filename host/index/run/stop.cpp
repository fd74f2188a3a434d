// The signal handlers of a run: the first signal is kept for the run to
// see, a second ends the process at once.
#include "index/run/stop.h"

#include <atomic>
#include <csignal>

namespace host::index {
namespace {

std::atomic<int> stopSignal{0};  // lock-free, so a signal handler may set it

extern "C" void StopIndexing(int signal)
{
    stopSignal = signal;
    std::signal(signal, SIG_DFL);
}

}  // namespace

int StopSignal()
{
    return stopSignal;
}

StopOnSignal::StopOnSignal()
{
    stopSignal = 0;
    previousInterrupt = std::signal(SIGINT, StopIndexing);
    previousTerminate = std::signal(SIGTERM, StopIndexing);
}

StopOnSignal::~StopOnSignal()
{
    std::signal(SIGINT, previousInterrupt);
    std::signal(SIGTERM, previousTerminate);
}

}  // namespace host::index
