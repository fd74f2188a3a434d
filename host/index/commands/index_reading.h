// What the commands share: the index that --db names (opened for reading,
// for `search` and `list`), and what they say when the index cannot answer
// a query.
#pragma once

#include "cli/options.h"
#include "index/store/database.h"

#include <memory>
#include <string>

namespace host::index {

// The index that --db names, else the default one; false, with the reason
// printed for `command`, when --db is empty.
bool IndexLocation(const ParsedArguments& parsed, const char* command, std::string& location);

// The --db option of the commands that read the index.
inline constexpr OptionRow databaseOption = {
    "--db", 0, "INDEX",
    "the index: a SQLite file, or a PostgreSQL connection string or URI "
    "(default: ${XDG_DATA_HOME:-~/.local/share}/trellan/index.sqlite)"};

// The index, or null with the reason said for `command` and `exitCode`
// set (a usage error, or an index that cannot be opened).
std::unique_ptr<IndexDatabase> OpenForReading(const ParsedArguments& parsed, const char* command, int& exitCode);

// Says that `query` is malformed, `problem` saying where; exitUsage.
int SayMalformedQuery(const char* command, const std::u16string& query, const std::string& problem);

// Says that the index failed a search or a list, and gives the exit code.
int SayIndexFailure(const char* command, const IndexDatabase& database, const Outcome& failure);

}  // namespace host::index
