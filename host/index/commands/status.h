// trellan index --status: what the index holds.
#pragma once

#include "index/store/database.h"

#include <cstdio>

namespace host::index {

// Counts by status, the last run, and the failing files with their status
// and cause. Answers the exit code.
int PrintIndexStatus(FILE* out, IndexDatabase& database);

}  // namespace host::index
