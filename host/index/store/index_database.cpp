// Which back end holds an index, by its location, and what both share.
#include "index/store/database.h"
#include "index/postgres/postgres_index.h"
#include "index/sqlite/sqlite_index.h"

#include <unistd.h>

namespace host::index {

bool IsPostgresLocation(std::string_view location)
{
    return location.starts_with("postgresql://") || location.starts_with("postgres://") ||
           location.find('=') != std::string_view::npos;
}

std::unique_ptr<IndexDatabase> OpenIndex(const std::string& location, IndexUse use, std::string& error)
{
    if (IsPostgresLocation(location)) {
        auto database = std::make_unique<PostgresIndex>();
        if (!database->Open(location, use == IndexUse::search, error))
            return nullptr;
        return database;
    }
    auto database = std::make_unique<SqliteIndex>();
    if (!database->Open(location, use == IndexUse::run, error, use == IndexUse::salvage))
        return nullptr;
    return database;
}

std::unique_ptr<IndexDatabase> OpenReplacement(const std::string& location, std::string& error)
{
    auto database = std::make_unique<SqliteIndex>();
    if (!database->OpenReplacing(location, error))
        return nullptr;
    return database;
}

std::string IndexProblem(const IndexDatabase& database, const Outcome& failure)
{
    if (failure.kind != OutcomeKind::damaged)
        return failure.message;
    return "the index " + database.Name() + damagedAdvice + " (" + failure.message + ")";
}

std::string MachineName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    return name;
}

std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

bool IsUnder(std::string_view path, std::string_view scope)
{
    if (scope == "/")
        return !path.empty() && path[0] == '/';
    return path.starts_with(scope) && (path.size() == scope.size() || path[scope.size()] == '/');
}

std::pair<std::string, std::string> PathsBelow(const std::string& root)
{
    const std::string under = root == "/" ? "" : root;
    return {under + "/", under + "0"};
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

Outcome IndexDatabase::AddPath(const std::string& added)
{
    std::vector<CoveredPath> paths;
    if (Outcome read = ReadPaths(paths); !read)
        return read;
    for (const CoveredPath& covered : paths)
        if (IsUnder(added, covered.path))
            return Done();
    // The paths it takes the place of hand it what their runs left out,
    // their globs set below them.
    CoveredPath taking{added, MachineName(), {}};
    bool dropped = false;
    for (const CoveredPath& covered : paths) {
        if (!IsUnder(covered.path, added))
            continue;
        if (Outcome gone = DropPath(covered.path, dropped); !gone)
            return gone;
        const std::string below = covered.path.substr(added == "/" ? 1 : added.size() + 1);
        for (const std::string& glob : covered.excludes)
            taking.excludes.push_back(below.empty() ? glob : below + "/" + glob);
    }
    return InsertPath(taking);
}

Outcome IndexDatabase::ForgetPath(const std::string& forgotten, std::int64_t& removed)
{
    Transaction transaction(*this);
    if (!transaction.Begun())
        return transaction.Begun();
    bool dropped = false;
    if (Outcome gone = DropPath(forgotten, dropped); !gone)
        return gone;
    if (!dropped)
        return {OutcomeKind::refused, "the index does not cover " + forgotten};
    std::vector<std::int64_t> ids;
    Outcome done = LoadKnownFiles({forgotten}, [&](std::string_view, std::string_view, const KnownFile& file) {
        ids.push_back(file.id);
    });
    removed = 0;
    for (size_t i = 0; done && i < ids.size(); ++i)
        if ((done = Remove(ids[i])))
            ++removed;
    if (done)
        done = RemoveEmptyFolders();
    if (done)
        done = transaction.Commit();
    return done;
}

}  // namespace host::index
