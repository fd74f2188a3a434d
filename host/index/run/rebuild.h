// trellan index --rebuild: a new index, every file filtered again, in place
// of the old one once it is complete.
#pragma once

#include "index/run/index_run.h"

namespace host::index {

// Rebuilds the index at `location` over `paths`, or, where none are given,
// over those the old index remembers. Answers the exit code.
int RebuildIndex(const std::string& location, RunPaths paths, const RunSettings& settings);

}  // namespace host::index
