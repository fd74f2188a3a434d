// Ctrl-C (SIGINT) and SIGTERM during an index run: the run stops handing
// out files, commits what it has, closes the index and exits.
#pragma once

namespace host::index {

// The signal that asked the run to stop, or 0.
int StopSignal();

// Catches the two signals for as long as it lives. After the first, a
// second one ends the process at once, which leaves the index sound too.
class StopOnSignal {
public:
    StopOnSignal();
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    void (*previousInterrupt)(int);
    void (*previousTerminate)(int);
};

}  // namespace host::index
