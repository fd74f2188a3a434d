// What a long command tells people on standard error: a progress line while
// it runs (only on a terminal, and only once the run has lasted a second),
// and a summary line at the end.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

class Progress {
public:
    // `command` names the command in the lines ("dump"); `quiet` silences
    // both lines.
    Progress(const char* command, bool quiet);

    // Counts one more file: filtered, failed or skipped.
    void Add(bool failed, bool skipped);
    // Clears the progress line and prints the summary, with `extra` (say,
    // ", 3 removed") after the counts.
    void Finish(const std::string& extra = {});

    unsigned long Failed() const { return failed; }
    double Seconds() const;

private:
    void Show();

    const char* command;
    const bool quiet;
    const bool terminal;
    const ULONGLONG started;
    ULONGLONG shownAt = 0;
    bool shown = false;
    unsigned long files = 0;
    unsigned long failed = 0;
    unsigned long skipped = 0;
};

}  // namespace host
