// What `search` and `list` share: the index that --db names opened for
// reading, and what they say when the index cannot answer a query.
#pragma once

#include "cli/options.h"
#include "index/database.h"

#include <memory>
#include <string>

namespace host::index {

// The index, or null with the reason said for `command` and `exitCode`
// set (a usage error, or an index that cannot be opened).
std::unique_ptr<IndexDatabase> OpenForReading(const ParsedArguments& parsed, const char* command, int& exitCode);

// Says why `status` is not `found` (a malformed `query`, an index that
// cannot be read) and gives the exit code; 0 for `found`.
int SayQueryFailure(const char* command, SearchStatus status, const std::u16string& query,
                    const IndexDatabase& database, const std::string& error);

}  // namespace host::index
