// The host's own words for why a file could not be filtered, from a look at
// the path: the filter's status says only that it failed.
#pragma once

#include "filtering/file_record.h"
#include "winapi.h"

#include <string>

namespace host {

struct FailureCause {
    std::string words;
    // Memory ran short: the file may well be read when it is not.
    bool memory = false;
    // The cause is outside the file (memory, a permission, the platform's
    // runtime): the file may read well once that is put right.
    bool outside = false;
};

// What is wrong with the path itself, if anything: it is missing, a folder,
// a link to nothing or a loop of links, not a regular file, a name too long,
// or it cannot be opened. False when it is a regular file that opens.
bool DescribePathProblem(const std::u16string& path, FailureCause& cause);

// Fails the record of a file that cannot be opened as one
// (FILTER_E_ACCESS), with what is wrong with its path.
void FailForPath(FileRecord& record);

// Why a file that the filter refused may have failed: it is missing, a
// folder, unreadable, empty, not a regular file, the platform's media
// runtime cannot read media at all, or, by what the runtime answers for the
// file, it is over the runtime's size limit, memory ran out, or else it is
// not a media file that the filter can read. The runtime is asked as the
// filter asked it: through its synchronous reader over a stream of the file
// when `byStream` (over `stream` when given: a file open already, whose
// path is not looked at again), else through its metadata editor by path.
FailureCause DescribeFailure(const std::u16string& path, bool byStream = false, IStream* stream = nullptr);

}  // namespace host
