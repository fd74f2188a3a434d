// The host's own words for why a file could not be filtered, from a look at
// the path: the filter's status says only that it failed.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

// Why a file that the filter refused may have failed: it is missing, a
// folder, unreadable, empty, not a regular file, the platform's media
// runtime cannot read media at all, or else it is not a media file that
// the filter can read.
std::string DescribeFailure(const std::u16string& path);

}  // namespace host
