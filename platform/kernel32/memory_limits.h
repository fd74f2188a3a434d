// Whether the process runs under a memory limit, shared by the heap's tuning
// and the metadata editor's admission of a file's reading.
#pragma once

namespace platform {

// True when the address space or the data segment was limited when the
// process started (ulimit -v, -d), or when PlatformSeam_FitHeapToLimits
// last looked. Read from memory: a reading asks once a file.
bool MemoryLimited();

}  // namespace platform
