// What a PostgreSQL index holds, read for a run: the whole list at once, or
// folder by folder as the walk comes to each. A round trip a folder would
// cost a server more than the run's memory saves, so the folder reader
// reads a few thousand rows at once, the folders from the one asked for on
// in the order of their paths' bytes, and answers the folders among them
// from memory as the walk comes to them. A walk goes depth first in name
// order, which is the same order but where a name sorts below '/' ("a b"
// before "a/b") or holds a character beyond U+FFFF (names sort by their
// UTF-16 units): there the walk leaves the rows read, and the next folder
// is read again from the index.
#include "index/postgres/postgres_index.h"

#include <algorithm>
#include <unordered_map>

namespace host::index {
namespace {

using postgres::Params;
using postgres::Result;

// The rows read at once, at the most: a file each, or a folder without any.
constexpr std::int64_t kMostHeldRows = 4096;
std::int64_t rowsForTests = 0;  // SetFolderReaderRows

std::int64_t MostHeldRows()
{
    return rowsForTests > 0 ? rowsForTests : kMostHeldRows;
}

// Folders asked for at once by their rows, at the end of a run.
constexpr size_t kFoldersAsked = 512;

// A file's columns as the run reads them, after its folder's row and path:
// columns 2 on.
std::string FileColumnsSql()
{
    return std::string("files.id, files.name, files.size, files.modified, files.changed, files.inode, files.failed, "
                       "(files.status IN ") +
           filterDownStatuses + ")::int, " + failureTextSql;
}

KnownFile FileAt(const Result& rows, int row)
{
    const bool failed = rows.Integer(row, 8) != 0;
    return {rows.Integer(row, 2),
            {rows.Integer(row, 4), rows.Integer(row, 5), rows.Integer(row, 6), rows.Integer(row, 7)},
            failed,
            rows.Integer(row, 9) != 0,
            failed ? FailureFingerprint(rows.Bytes(row, 10)) : 0u};
}

class PostgresKnownFolders final : public KnownFolders {
public:
    PostgresKnownFolders(std::unique_ptr<PostgresIndex> index, std::int64_t newest)
        : index(std::move(index)), newest(newest)
    {
    }

    Outcome Load(std::string_view folder, std::int64_t& id, const KnowFile& know) override
    {
        id = 0;
        if (!Holds(folder))
            if (Outcome read = Read(std::string(folder)); !read)
                return read;
        const auto found = held.find(std::string(folder));
        if (found == held.end())
            return Done();  // a folder new to the index
        id = found->second.id;
        for (const auto& [name, file] : found->second.files)
            know(folder, name, file);
        held.erase(found);
        return Done();
    }

    Outcome LoadOthers(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                       const KnowFile& know) override
    {
        held.clear();
        holding = false;
        return index->LoadKnownFilesExcept(scope, skipped, newest, know);
    }

private:
    struct Folder {
        std::int64_t id = 0;
        std::vector<std::pair<std::string, KnownFile>> files;
    };

    // Whether the rows read hold every folder that sorts as `folder` does.
    bool Holds(std::string_view folder) const
    {
        return holding && folder >= heldFrom && (toTheEnd || folder < heldTo);
    }

    // The rows of the folders from `folder` on, cut before the last folder
    // read, whose rows may go on past the limit; the folder alone when its
    // own rows are more.
    Outcome Read(const std::string& folder)
    {
        held.clear();
        holding = false;
        std::string last;
        const auto keep = [&](std::int64_t folderId, std::string_view path, std::string_view name,
                              const KnownFile& file) {
            if (path != last)
                last = path;
            Folder& kept = held[last];
            kept.id = folderId;
            if (!name.empty())
                kept.files.emplace_back(name, file);
        };
        std::int64_t rows = 0;
        if (Outcome read = index->ReadFolders(folder, false, newest, MostHeldRows() + 1, keep, rows); !read)
            return read;
        toTheEnd = rows <= MostHeldRows();
        if (!toTheEnd && last == folder) {
            held.clear();
            return index->ReadFolders(folder, true, newest, INT64_MAX, keep, rows);
        }
        if (!toTheEnd) {
            held.erase(last);
            heldTo = last;
        }
        heldFrom = folder;
        holding = true;
        return Done();
    }

    const std::unique_ptr<PostgresIndex> index;
    // The last folder row before the run: the rows after it are the run's
    // own, of folders it walked.
    const std::int64_t newest;
    // The folders read last that the walk has not come to: every folder of
    // the index from `heldFrom` to `heldTo` (or on, `toTheEnd`).
    std::unordered_map<std::string, Folder> held;
    std::string heldFrom, heldTo;
    bool toTheEnd = false;
    bool holding = false;
};

}  // namespace

bool PostgresIndex::ReadThroughCursor(const std::string& select, const Params& params, const EachRow& each)
{
    if (!connection.Query("DECLARE rows NO SCROLL CURSOR FOR " + select, params).Ok())
        return false;
    for (;;) {
        Result rows = connection.Query("FETCH 5000 FROM rows");
        if (!rows.Ok())
            return false;
        if (rows.Rows() == 0)
            break;
        for (int row = 0; row < rows.Rows(); ++row)
            each(rows, row);
    }
    return connection.Execute("CLOSE rows");
}

Outcome PostgresIndex::LoadKnownFiles(const std::vector<std::string>& scope, const KnowFile& know)
{
    // Through a cursor, some thousands of rows at a time, so that memory
    // does not grow with the files twice (the plan holds them already).
    const bool own = !connection.InTransaction();
    if (own && !connection.Execute("BEGIN"))
        return Failed();
    const std::string select = "SELECT folders.id, folders.path, " + FileColumnsSql() +
                               " FROM files JOIN folders ON folders.id = files.folder WHERE folders.path = $1 OR "
                               "(folders.path >= $4 AND folders.path < $5) OR (folders.path = $2 AND files.name = $3)";
    bool read = true;
    for (size_t i = 0; read && i < scope.size(); ++i) {
        const std::string& root = scope[i];
        const auto [parent, name] = SplitPath(root);
        const auto [from, to] = PathsBelow(root);
        read = ReadThroughCursor(select, Params().Bytes(root).Bytes(parent).Bytes(name).Bytes(from).Bytes(to),
                                 [&](const Result& files, int row) {
                                     const std::string_view folder = files.Bytes(row, 1);
                                     RememberFolder(folder, files.Integer(row, 0));
                                     know(folder, files.Bytes(row, 3), FileAt(files, row));
                                 });
    }
    const Outcome outcome = Said(read);
    if (own && !connection.Execute(read ? "COMMIT" : "ROLLBACK") && read)
        return Failed();
    return outcome;
}

std::unique_ptr<KnownFolders> PostgresIndex::ReadKnownFolders()
{
    // A connection of its own sees only what the run has committed, and
    // the run reads a folder before it writes a file of it.
    auto reader = std::make_unique<PostgresIndex>();
    std::string error;
    if (!reader->Open(connectionString, false, error))
        return nullptr;
    Result newest = reader->connection.Query("SELECT coalesce(max(id), 0) FROM folders");
    if (!newest.Ok() || newest.Rows() != 1)
        return nullptr;
    const std::int64_t last = newest.Integer(0, 0);
    return std::make_unique<PostgresKnownFolders>(std::move(reader), last);
}

Outcome PostgresIndex::ReadFolders(const std::string& from, bool alone, std::int64_t newest, std::int64_t most,
                                   const KnowFolder& each, std::int64_t& rows)
{
    rows = 0;
    static const std::string columns = "SELECT folders.id, folders.path, " + FileColumnsSql() +
                                       " FROM folders LEFT JOIN files ON files.folder = folders.id WHERE ";
    static const std::string onwardSql =
        columns + "folders.path >= $1 AND folders.id <= $2 ORDER BY folders.path LIMIT $3";
    static const std::string aloneSql = columns + "folders.path = $1 AND folders.id <= $2";
    Result found = alone ? connection.Prepared("folder alone", aloneSql.c_str(), Params().Bytes(from).Integer(newest))
                         : connection.Prepared("folders onward", onwardSql.c_str(),
                                               Params().Bytes(from).Integer(newest).Integer(most));
    if (!found.Ok())
        return Failed();
    rows = found.Rows();
    for (int row = 0; row < found.Rows(); ++row)
        each(found.Integer(row, 0), found.Bytes(row, 1), found.Bytes(row, 3), FileAt(found, row));
    return Done();
}

Outcome PostgresIndex::LoadKnownFilesExcept(const std::vector<std::string>& scope,
                                            const std::vector<std::int64_t>& skipped, std::int64_t newest,
                                            const KnowFile& know)
{
    // The folders the walk did not come to, told apart here rather than on
    // the server, which would be sent every folder the walk met.
    std::vector<std::int64_t> others;
    if (!connection.Execute("BEGIN"))
        return Failed();
    bool read = true;
    for (size_t i = 0; read && i < scope.size(); ++i) {
        const auto [from, to] = PathsBelow(scope[i]);
        read = ReadThroughCursor("SELECT id FROM folders WHERE (path = $1 OR (path >= $2 AND path < $3)) AND id <= $4",
                                 Params().Bytes(scope[i]).Bytes(from).Bytes(to).Integer(newest),
                                 [&](const Result& folders, int row) {
                                     if (!std::binary_search(skipped.begin(), skipped.end(), folders.Integer(row, 0)))
                                         others.push_back(folders.Integer(row, 0));
                                 });
    }
    if (!read) {
        const Outcome failed = Failed();  // the failure, not the rollback's
        connection.Execute("ROLLBACK");
        return failed;
    }
    if (!connection.Execute("COMMIT"))
        return Failed();
    static const std::string filesSql = "SELECT folders.id, folders.path, " + FileColumnsSql() +
                                        " FROM files JOIN folders ON folders.id = files.folder "
                                        "WHERE files.folder = ANY($1::bigint[])";
    for (size_t first = 0; first < others.size(); first += kFoldersAsked) {
        std::string ids = "{";
        for (size_t i = first; i < others.size() && i < first + kFoldersAsked; ++i)
            ids += (i > first ? "," : "") + std::to_string(others[i]);
        Result files = connection.Prepared("other files", filesSql.c_str(), Params().Text(ids + "}"));
        if (!files.Ok())
            return Failed();
        for (int row = 0; row < files.Rows(); ++row)
            know(files.Bytes(row, 1), files.Bytes(row, 3), FileAt(files, row));
    }
    return Done();
}

void SetFolderReaderRows(std::int64_t rows)
{
    rowsForTests = rows;
}

void PostgresIndex::RememberFolder(std::string_view folder, std::int64_t id)
{
    if (folderIds.size() >= kRememberedFolders)
        folderIds.clear();
    folderIds.emplace(folder, id);
}

}  // namespace host::index
