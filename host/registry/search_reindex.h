// After registration changes which filter serves the four media
// extensions, the platform's search service is asked to read their files
// again: the files it already indexed keep what the previous filter gave.
#pragma once

namespace host {

// Asks the search service's system catalog to re-index the files of the
// four extensions, and prints what happened. A machine without the service
// (a server without search, Wine, Linux) is said so and is no failure.
void RequestMediaReindex(const char* command);

// The system's own processor is ARM64 (IsWow64Process2), whose indexer
// loads neither an x64 nor an x86 filter.
bool NativeMachineIsArm64();

}  // namespace host
