// What a run leaves out of the index: folders whose names start with a dot
// (trash folders among them) unless hidden folders are asked for, and what
// a covered path's exclusions match below it.
#pragma once

#include "index/store/database.h"

#include <string_view>
#include <vector>

namespace host::index {

struct LeftOutRules {
    std::vector<CoveredPath> paths;  // the covered paths, with their globs
    bool hidden = false;             // hidden folders are indexed too
};

// Whether the file at `path` (the file system's bytes) is left out: it lies
// in a hidden folder below its covered path, or a glob matches the part of
// its path below the covered path, or of a folder's path there. A glob's *
// spans folders too ("*/Podcasts" leaves out every Podcasts folder but the
// top one's).
bool LeftOut(const LeftOutRules& rules, std::string_view path);

}  // namespace host::index
