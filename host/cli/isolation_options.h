// The limits of the filter workers, as dump and index take them:
// --filter-timeout SECONDS and --filter-memory MIB.
#pragma once

#include "cli/options.h"
#include "filtering/filter_isolation.h"

namespace host {

// The two options' rows, for a command's table.
#define TRELLAN_ISOLATION_OPTION_ROWS                                                                          \
    {"--filter-timeout", 0, "SECONDS", "end a filter that takes longer on one file (default 30); the file fails"}, \
    {"--filter-memory", 0, "MIB",                                                                              \
     "the memory a filter may take, in MiB (default 1024; 0: no limit); past it the file fails"}

// Reads the two options into `limits`; false, with the reason printed,
// when one is not a number in range.
bool ReadIsolationOptions(const ParsedArguments& parsed, const char* command, IsolationLimits& limits);

}  // namespace host
