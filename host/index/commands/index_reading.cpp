// The index opened for search and list, and their words for a query the
// index could not answer.
#include "index/commands/index_reading.h"

#include "index/run/entry.h"
#include "text/text_escape.h"

#include <cstdio>

namespace host::index {

bool IndexLocation(const ParsedArguments& parsed, const char* command, std::string& location)
{
    const std::u16string* given = parsed.Value("--db");
    if (given && given->empty()) {
        std::fprintf(stderr, "trellan %s: --db needs an index: a SQLite file, or a PostgreSQL connection string\n",
                     command);
        return false;
    }
    location = given ? PathBytes(*given) : DefaultIndexPath();
    return true;
}

std::unique_ptr<IndexDatabase> OpenForReading(const ParsedArguments& parsed, const char* command, int& exitCode)
{
    std::string path, error;
    exitCode = exitUsage;
    if (!IndexLocation(parsed, command, path))
        return nullptr;
    std::unique_ptr<IndexDatabase> database = OpenIndex(path, IndexUse::search, error);
    exitCode = database ? exitSuccess : exitIndexFailed;
    if (!database)
        std::fprintf(stderr, "trellan %s: %s\n", command, error.c_str());
    return database;
}

int SayMalformedQuery(const char* command, const std::u16string& query, const std::string& problem)
{
    // A long query is quoted by its start: the problem says where it is.
    constexpr size_t kQuoted = 60;
    std::string quoted = JsonString(query.substr(0, kQuoted));
    if (query.size() > kQuoted)
        quoted.insert(quoted.size() - 1, "…");
    std::fprintf(stderr, "trellan %s: the query %s is not valid: %s\n", command, quoted.c_str(), problem.c_str());
    return exitUsage;
}

int SayIndexFailure(const char* command, const IndexDatabase& database, const Outcome& failure)
{
    if (failure.kind == OutcomeKind::damaged)  // said as every command says it
        std::fprintf(stderr, "trellan %s: %s\n", command, IndexProblem(database, failure).c_str());
    else
        std::fprintf(stderr, "trellan %s: cannot read the index %s: %s\n", command, database.Name().c_str(),
                     failure.message.c_str());
    return exitIndexFailed;
}

}  // namespace host::index
