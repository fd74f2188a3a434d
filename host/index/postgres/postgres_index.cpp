// The index's PostgreSQL schema and its reads and writes. Every write of a
// run is in the batch's transaction; a killed run's connection ends, and
// the server rolls its open batch back.
#include "index/postgres/postgres_index.h"

#include "index/properties/field_words.h"
#include "index/postgres/tsquery_text.h"
#include "index/query/fields.h"
#include "index/query/score.h"
#include "index/store/bookkeeping_sql.h"
#include "index/store/query_sql.h"
#include "text/cjk_pairs.h"
#include "text/letter_folding.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace host::index {
namespace {

using postgres::Params;
using postgres::Result;

constexpr int kSchemaVersion = 5;
const Dialect dialect = {'$', "now()", "folders.path || '\\x2f'::bytea || files.name", "file"};
// The advisory lock that keeps two first runs from making the schema at once.
constexpr std::int64_t kSchemaLock = 0x7472656C6C616E00;  // "trellan\0"

const char* const schemaSql = R"(
CREATE SCHEMA trellan;
CREATE TABLE trellan.schema_version (version integer NOT NULL);
INSERT INTO trellan.schema_version VALUES (3);
CREATE EXTENSION IF NOT EXISTS unaccent;
CREATE TEXT SEARCH CONFIGURATION trellan.stems (COPY = pg_catalog.english);
ALTER TEXT SEARCH CONFIGURATION trellan.stems
    ALTER MAPPING FOR hword, hword_part, word WITH unaccent, english_stem;
CREATE TEXT SEARCH CONFIGURATION trellan.words (COPY = pg_catalog.simple);
ALTER TEXT SEARCH CONFIGURATION trellan.words
    ALTER MAPPING FOR hword, hword_part, word, asciihword, asciiword, hword_asciipart WITH unaccent, simple;
CREATE TABLE trellan.folders (
    id bigserial PRIMARY KEY,
    path bytea NOT NULL UNIQUE
);
CREATE TABLE trellan.files (
    id bigserial PRIMARY KEY,
    folder bigint NOT NULL REFERENCES trellan.folders (id),
    name bytea NOT NULL,
    size bigint NOT NULL,
    modified bigint NOT NULL,
    changed bigint NOT NULL DEFAULT 0,
    inode bigint NOT NULL DEFAULT 0,
    status text NOT NULL,
    failed boolean NOT NULL,
    cause text NOT NULL,
    UNIQUE (folder, name)
);
CREATE TABLE trellan.texts (
    file bigint PRIMARY KEY REFERENCES trellan.files (id) ON DELETE CASCADE,
    title text NOT NULL,
    author text NOT NULL,
    comments text NOT NULL,
    body text NOT NULL,
    stems tsvector NOT NULL,
    words tsvector NOT NULL
);
CREATE INDEX texts_stems ON trellan.texts USING gin (stems);
CREATE TABLE trellan.runs (
    id bigserial PRIMARY KEY,
    machine text NOT NULL,
    started timestamptz NOT NULL DEFAULT now(),
    finished timestamptz,
    complete boolean NOT NULL DEFAULT false,
    added bigint NOT NULL DEFAULT 0,
    changed bigint NOT NULL DEFAULT 0,
    unchanged bigint NOT NULL DEFAULT 0,
    removed bigint NOT NULL DEFAULT 0,
    failed bigint NOT NULL DEFAULT 0
);
CREATE TABLE trellan.paths (
    path bytea PRIMARY KEY,
    machine text NOT NULL,
    added timestamptz NOT NULL DEFAULT now(),
    excludes bytea NOT NULL DEFAULT ''
);
CREATE TABLE trellan.watchers (
    id bigserial PRIMARY KEY,
    machine text NOT NULL,
    process bigint NOT NULL,
    backend integer NOT NULL DEFAULT pg_backend_pid(),
    started timestamptz NOT NULL DEFAULT now(),
    connected timestamptz NOT NULL DEFAULT now()
);
)";

// Version 3 knows a file also by its change time and its file number, so
// that an edit that kept the write time is seen (the rows of an older index
// have neither, so each file is filtered again at its next run), and a
// watcher by the connection it has now, which changes when it reconnects,
// and what each covered path's runs leave out (globs one a line).
const char* const upgradeToThreeSql = R"(
ALTER TABLE trellan.files ADD COLUMN changed bigint NOT NULL DEFAULT 0,
    ADD COLUMN inode bigint NOT NULL DEFAULT 0;
ALTER TABLE trellan.watchers ADD COLUMN connected timestamptz NOT NULL DEFAULT now();
ALTER TABLE trellan.paths ADD COLUMN excludes bytea NOT NULL DEFAULT '';
UPDATE trellan.schema_version SET version = 3;
)";

// Version 4 knows what a media file is: its album, album artist, genre,
// composer, year, track and disc numbers and length beside its row, and
// three more texts (the media fields, the other tags, the file's name and
// folders, each word after its field's marker) in its vectors; scripts
// without spaces reach the vectors split into overlapping pairs, whose
// version the settings keep. Every file is filtered again at its next run,
// so that the new columns fill; its texts stay searched until then.
std::string UpgradeToFourSql()
{
    return R"(
ALTER TABLE trellan.files ADD COLUMN album text NOT NULL DEFAULT '',
    ADD COLUMN albumartist text NOT NULL DEFAULT '', ADD COLUMN genre text NOT NULL DEFAULT '',
    ADD COLUMN composer text NOT NULL DEFAULT '', ADD COLUMN year bigint NOT NULL DEFAULT 0,
    ADD COLUMN track bigint NOT NULL DEFAULT 0, ADD COLUMN disc bigint NOT NULL DEFAULT 0,
    ADD COLUMN duration bigint NOT NULL DEFAULT 0;
ALTER TABLE trellan.texts ADD COLUMN media text NOT NULL DEFAULT '',
    ADD COLUMN tags text NOT NULL DEFAULT '', ADD COLUMN names text NOT NULL DEFAULT '';
CREATE TABLE trellan.settings (name text PRIMARY KEY, value bigint NOT NULL);
INSERT INTO trellan.settings VALUES ('pairs', )" + std::to_string(cjkPairsVersion) + R"();
UPDATE trellan.files SET changed = -1;
UPDATE trellan.schema_version SET version = 4;
)";
}

// Version 5 stems as the SQLite index does: Snowball's English stemmer
// with no stop words ("the light" asks for "the" too), the letters
// accent removal keeps (ð, ø, æ, ...) folded in the host, and each
// character of a script without spaces given beside its pairs; the disc
// number is a field; names sort by trellan.sort_key, unaccent's folding in
// lower case (the extension's own schema named, as searches set no search
// path). The vectors are made in the host from the texts, so
// every file is filtered again at its next run; its texts stay searched
// until then.
std::string UpgradeToFiveSql()
{
    return R"(
DROP TEXT SEARCH CONFIGURATION trellan.stems;
DROP TEXT SEARCH DICTIONARY IF EXISTS trellan.english_stem;
CREATE TEXT SEARCH DICTIONARY trellan.english_stem (TEMPLATE = snowball, Language = english);
CREATE TEXT SEARCH CONFIGURATION trellan.stems (COPY = pg_catalog.english);
ALTER TEXT SEARCH CONFIGURATION trellan.stems
    ALTER MAPPING FOR asciiword, asciihword, hword_asciipart, hword, hword_part, word
    WITH unaccent, trellan.english_stem;
DO $$ BEGIN
EXECUTE format('CREATE OR REPLACE FUNCTION trellan.sort_key(text) RETURNS text LANGUAGE sql STABLE PARALLEL SAFE '
               'AS %L', format('SELECT lower(%I.unaccent($1))', (SELECT namespace.nspname FROM pg_extension AS e
               JOIN pg_namespace AS namespace ON namespace.oid = e.extnamespace WHERE e.extname = 'unaccent')));
END $$;
UPDATE trellan.settings SET value = )" + std::to_string(cjkPairsVersion) + R"( WHERE name = 'pairs';
UPDATE trellan.files SET changed = -1;
UPDATE trellan.schema_version SET version = 5;
)";
}

// The layout of the vectors, kept in the settings as 'vectors': 1 keeps
// the texts apart by a gap (see TRELLAN_VECTOR).
constexpr int kVectorLayout = 1;

// Scripts without spaces split by another version of the pairs, letters
// folded by another version of the fold, or vectors of another layout:
// every file is filtered again at its next run, which makes its vectors
// anew.
std::string ResplitSql()
{
    return "UPDATE trellan.files SET changed = -1; INSERT INTO trellan.settings VALUES ('pairs', " +
           std::to_string(cjkPairsVersion) + "), ('vectors', " + std::to_string(kVectorLayout) + "), ('folding', " +
           std::to_string(letterFoldingVersion) + ") ON CONFLICT (name) DO UPDATE SET value = excluded.value;";
}

// The texts, weighted, in one tsvector of configuration `config`: the
// title ($2, or its pairs $9), the author ($3, $10) and the comments ($4,
// $11), the `properties` ($6 to $8, split by the host) below them, the body
// ($5, $12) last, so that a long body cannot push the others' positions
// past the vector's last one. Between two texts stands a lexeme that no
// query asks for (`|`), so that words in a row are found within a text and
// never across two, as on SQLite, where each is a column. The exact words
// hold no properties: a match there is never an exact one, as on SQLite.
#define TRELLAN_GAP " || '''|'':1'::tsvector || "
#define TRELLAN_VECTOR(config, properties)                                                                     \
    "setweight(to_tsvector('" config "', coalesce($9, $2)), 'A')" TRELLAN_GAP                                 \
    "setweight(to_tsvector('" config "', coalesce($10, $3)), 'B')" TRELLAN_GAP                                \
    "setweight(to_tsvector('" config "', coalesce($11, $4)), 'C')" TRELLAN_GAP                                \
    "setweight(to_tsvector('" config "', " properties "), 'D')" TRELLAN_GAP                                   \
    "setweight(to_tsvector('" config "', coalesce($12, $5)), 'D')"

const char* const upsertTextSql =
    "INSERT INTO trellan.texts (file, title, author, comments, body, media, tags, names, stems, words) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, " TRELLAN_VECTOR("trellan.stems", "$6 || ' ' || $7 || ' ' || $8") ", "
    TRELLAN_VECTOR("trellan.words", "''") ") "
    "ON CONFLICT (file) DO UPDATE SET title = excluded.title, author = excluded.author, "
    "comments = excluded.comments, body = excluded.body, media = excluded.media, tags = excluded.tags, "
    "names = excluded.names, stems = excluded.stems, words = excluded.words";

// A text as its vector takes it: the letters accent removal keeps folded,
// runs of scripts without spaces as their pairs, and after everything
// their characters, one a word, where a phrase of pairs cannot be broken
// by them; null when the text itself serves (most text).
Params& VectorText(Params& params, const std::string& text)
{
    std::string folded;
    const std::string_view plain = LettersFolded(text, folded);
    if (!HasCjk(plain))
        return folded.empty() ? params.NullText() : params.Text(folded);
    return params.Text(PairCjkRuns(plain) + " " + CjkCharacters(plain));
}

// A key of a path for the advisory locks (FNV-1a over its bytes).
std::int64_t LockKey(std::string_view path)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : path)
        hash = (hash ^ c) * 1099511628211ull;
    return static_cast<std::int64_t>(hash);
}

// The folders above a path: "/a/b/c" has "/a/b", "/a" and "/".
std::vector<std::string> Above(const std::string& path)
{
    std::vector<std::string> folders;
    for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0; slash = path.rfind('/', slash - 1))
        folders.push_back(path.substr(0, slash));
    if (path.size() > 1)
        folders.push_back("/");
    return folders;
}

std::string LocalTime(double epoch)
{
    const std::time_t seconds = static_cast<std::time_t>(epoch);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

bool PostgresIndex::Open(const std::string& where, bool forSearch, std::string& error)
{
    location = postgres::WithoutPassword(where);
    connectionString = where;
    if (!connection.Open(where)) {
        error = "cannot connect to the PostgreSQL index " + location + ": " +
                postgres::WithoutSecrets(connection.LastError(), where);
        return false;
    }
    // A search keeps nothing in its session: every name it reads is the
    // schema's, and what it changes (a schema made or upgraded) is changed
    // in a transaction, so that a connection pooler in transaction mode may
    // hand each statement to another server process. Everything else takes
    // session locks, and keeps a search path, and must reach the server
    // itself: a pooler shows as a server process other than the one the
    // connection began with.
    if (!forSearch && connection.ThroughPooler()) {
        error = "the PostgreSQL index " + location + " is reached through a connection pooler; index runs and "
                "watchers hold session locks, so give them a connection to the server itself (searches may use "
                "the pooler)";
        return false;
    }
    if ((!forSearch && !connection.Execute("SET search_path = trellan, public")) || !CreateSchema(error)) {
        if (error.empty())
            error = connection.LastError();
        error = "the PostgreSQL index " + location + " " + error;
        return false;
    }
    return true;
}

bool PostgresIndex::CreateSchema(std::string& error)
{
    auto version = [&](std::int64_t& found) {
        // to_regclass, not the pg_tables view: planning the view in a new
        // server process took two milliseconds of every search.
        Result schema = connection.Query(
            "SELECT (SELECT count(*) FROM pg_namespace WHERE nspname = 'trellan'), "
            "(to_regclass('trellan.schema_version') IS NOT NULL)::int");
        if (!schema.Ok())
            return false;
        found = schema.Integer(0, 0) == 0 ? 0 : -1;
        if (schema.Integer(0, 1) == 0)
            return true;
        Result row = connection.Query("SELECT max(version) FROM trellan.schema_version");
        found = row.Ok() && row.Rows() ? row.Integer(0, 0) : -1;
        return row.Ok();
    };
    std::int64_t found = 0;
    if (!version(found))
        return false;
    if (found == 0) {
        // Made once, by the first run; another that comes at the same time waits and finds it made.
        if (!connection.Execute("BEGIN; SET LOCAL search_path = trellan, public") ||
            !connection.Query("SELECT pg_advisory_xact_lock($1)", Params().Integer(kSchemaLock)).Ok() ||
            !version(found) || (found == 0 && !connection.Execute(schemaSql)) || !connection.Execute("COMMIT")) {
            error = "cannot be made into an index: " + connection.LastError();
            connection.Execute("ROLLBACK");
            return false;
        }
        found = found == 0 ? 3 : found;  // made as version 3, then upgraded as an older index is
    }
    if (found == 2 && !Upgrade(2, upgradeToThreeSql, found, error))
        return false;
    if (found == 3 && !Upgrade(3, UpgradeToFourSql(), found, error))
        return false;
    if (found == 4 && !Upgrade(4, UpgradeToFiveSql(), found, error))
        return false;
    if (found == kSchemaVersion) {
        Result current = connection.Query(
            "SELECT count(*) FROM trellan.settings WHERE (name = 'pairs' AND value = $1) OR "
            "(name = 'vectors' AND value = $2) OR (name = 'folding' AND value = $3)",
            Params().Integer(cjkPairsVersion).Integer(kVectorLayout).Integer(letterFoldingVersion));
        if (current.Ok() && current.Rows() == 1 && current.Integer(0, 0) == 3)
            return true;
        if (!connection.Execute(ResplitSql().c_str())) {
            error = "cannot split its texts anew: " + connection.LastError();
            return false;
        }
        return true;
    }
    if (found == kSchemaVersion)
        return true;
    error = found < 0 ? "has a schema \"trellan\" that is not a Trellan index"
                      : "holds a Trellan index of schema version " + std::to_string(found) +
                            "; this Trellan reads version " + std::to_string(kSchemaVersion);
    return false;
}

bool PostgresIndex::Upgrade(std::int64_t from, const std::string& sql, std::int64_t& found, std::string& error)
{
    // Upgraded once, by the first run of this version; another that comes
    // at the same time waits and finds it upgraded.
    auto version = [&] {
        Result row = connection.Query("SELECT max(version) FROM trellan.schema_version");
        found = row.Ok() && row.Rows() ? row.Integer(0, 0) : -1;
        return row.Ok();
    };
    if (!connection.Execute("BEGIN; SET LOCAL search_path = trellan, public") ||
        !connection.Query("SELECT pg_advisory_xact_lock($1)", Params().Integer(kSchemaLock)).Ok() || !version() ||
        (found == from && !connection.Execute(sql.c_str())) || !connection.Execute("COMMIT")) {
        error = "cannot be upgraded from schema version " + std::to_string(from) + ": " + connection.LastError();
        connection.Execute("ROLLBACK");
        return false;
    }
    found = found == from ? from + 1 : found;
    return true;
}

Outcome PostgresIndex::LockForRun(const std::vector<std::string>& paths)
{
    // Each path locked alone, and the folders above it shared: a run over
    // "/a" and one over "/a/b" exclude each other, runs over "/a/b" and
    // "/a/c" do not. The paths are kept, to lock them again after a
    // reconnection.
    lockedPaths = paths;
    for (const std::string& path : paths) {
        Result own = connection.Query("SELECT pg_try_advisory_lock($1)", Params().Integer(LockKey(path)));
        bool asked = own.Ok(), held = asked && own.Integer(0, 0);
        for (const std::string& folder : Above(path)) {
            if (!held)
                break;
            Result shared =
                connection.Query("SELECT pg_try_advisory_lock_shared($1)", Params().Integer(LockKey(folder)));
            asked = shared.Ok();
            held = asked && shared.Integer(0, 0);
        }
        if (!held) {
            // Refused by another run's lock, or not asked at all (the
            // connection lost): told apart, as the second is no other run.
            if (asked)
                return {OutcomeKind::locked, "another trellan index is running over " + path +
                                                 " (or a path above or below it) in " + location};
            Outcome failed = Failed();
            failed.message = "cannot lock " + path + " in " + location + ": " + failed.message;
            return failed;
        }
    }
    return Done();
}

Outcome PostgresIndex::Begin()
{
    return Said(connection.Execute("BEGIN"));
}

Outcome PostgresIndex::Commit()
{
    return Said(connection.Execute("COMMIT"));
}

void PostgresIndex::Rollback()
{
    connection.Execute("ROLLBACK");
    folderIds.clear();  // rows it made are gone
}

std::int64_t PostgresIndex::FolderId(const std::string& folder)
{
    if (auto known = folderIds.find(folder); known != folderIds.end())
        return known->second;
    Result made = connection.Prepared("folder",
                                      "INSERT INTO folders (path) VALUES ($1) ON CONFLICT (path) "
                                      "DO UPDATE SET path = excluded.path RETURNING id",
                                      Params().Bytes(folder));
    if (!made.Ok() || made.Rows() != 1)
        return 0;
    RememberFolder(folder, made.Integer(0, 0));
    return made.Integer(0, 0);
}

Outcome PostgresIndex::Store(const IndexEntry& entry, std::int64_t knownId)
{
    return Said(StoreRows(entry, knownId));
}

bool PostgresIndex::StoreRows(const IndexEntry& entry, std::int64_t knownId)
{
    std::int64_t id = knownId;
    const auto state = [&](Params params) {
        return params.Integer(entry.stamp.size)
            .Integer(entry.stamp.modified)
            .Text(entry.status)
            .Boolean(entry.failed)
            .Text(entry.cause)
            .Integer(entry.stamp.changed)
            .Integer(entry.stamp.inode)
            .Text(entry.media.album)
            .Text(entry.media.albumArtist)
            .Text(entry.media.genre)
            .Text(entry.media.composer)
            .Integer(entry.media.year)
            .Integer(entry.media.track)
            .Integer(entry.media.disc)
            .Integer(entry.media.duration);
    };
    if (id) {
        static const std::string updateSql = Spoken(bookkeeping::updateFile, dialect);
        if (!connection.Prepared("update", updateSql.c_str(), state(Params().Integer(id).Boolean(entry.keep))).Ok())
            return false;
        // A failure outside the file keeps the texts it had.
        if (entry.keep)
            return true;
        if (entry.failed)
            return connection.Prepared("untext", "DELETE FROM texts WHERE file = $1", Params().Integer(id)).Ok();
    } else {
        const auto [folderPath, name] = SplitPath(entry.path);
        const std::int64_t folder = FolderId(folderPath);
        if (!folder)
            return false;
        static const std::string insertSql = Spoken(bookkeeping::insertFile, dialect) + " RETURNING id";
        Result made =
            connection.Prepared("insert", insertSql.c_str(), state(Params().Integer(folder).Bytes(name)));
        if (!made.Ok() || made.Rows() != 1)
            return false;
        id = made.Integer(0, 0);
        if (entry.failed)
            return true;
    }
    Params texts;
    texts.Integer(id).Text(entry.title).Text(entry.author).Text(entry.comments).Text(entry.body);
    for (const std::string& properties : {MediaWords(entry.media), TagWords(entry.media), NameWords(entry.path)}) {
        std::string folded;
        const std::string_view plain = LettersFolded(properties, folded);
        if (HasCjk(plain))
            texts.Text(std::string(plain) + " " + MarkedCharacters(plain));
        else
            texts.Text(plain);
    }
    for (const std::string* text : {&entry.title, &entry.author, &entry.comments, &entry.body})
        VectorText(texts, *text);
    return connection.Prepared("text", upsertTextSql, texts).Ok();
}

Outcome PostgresIndex::Remove(std::int64_t id)
{
    static const std::string sql = Spoken(bookkeeping::removeFile, dialect);
    return Said(connection.Prepared("remove", sql.c_str(), Params().Integer(id)).Ok());
}

Outcome PostgresIndex::RemoveUnder(const std::string& under)
{
    const auto [parent, name] = SplitPath(under);
    const auto [from, to] = PathsBelow(under);
    return Said(connection
                    .Query("DELETE FROM files USING folders WHERE folders.id = files.folder AND (folders.path = $1 OR "
                           "(folders.path >= $4 AND folders.path < $5) OR (folders.path = $2 AND files.name = $3))",
                           Params().Bytes(under).Bytes(parent).Bytes(name).Bytes(from).Bytes(to))
                    .Ok());
}

Outcome PostgresIndex::RemoveEmptyFolders()
{
    // Only the folders this run has met: the others are other runs'.
    std::string ids = "{";
    for (const auto& [path, id] : folderIds)
        ids += (ids.size() > 1 ? "," : "") + std::to_string(id);
    folderIds.clear();
    return Said(connection
                    .Query("DELETE FROM folders WHERE id = ANY($1::text::bigint[]) AND "
                           "NOT EXISTS (SELECT 1 FROM files WHERE files.folder = folders.id)",
                           Params().Text(ids + "}"))
                    .Ok());
}

Outcome PostgresIndex::ReadPaths(std::vector<CoveredPath>& paths)
{
    Result rows = connection.Query(bookkeeping::readPaths);
    for (int row = 0; row < rows.Rows(); ++row)
        paths.push_back({std::string(rows.Bytes(row, 0)), std::string(rows.Bytes(row, 1)), SplitLines(rows.Bytes(row, 2))});
    return Said(rows.Ok());
}

Outcome PostgresIndex::InsertPath(const CoveredPath& path)
{
    static const std::string sql = Spoken(bookkeeping::insertPath, dialect);
    return Said(
        connection.Query(sql, Params().Bytes(path.path).Text(path.machine).Bytes(JoinLines(path.excludes))).Ok());
}

Outcome PostgresIndex::SetExcludes(const CoveredPath& path)
{
    static const std::string sql = Spoken(bookkeeping::setExcludes, dialect);
    return Said(connection.Query(sql, Params().Bytes(path.path).Bytes(JoinLines(path.excludes))).Ok());
}

Outcome PostgresIndex::DropPath(const std::string& path, bool& dropped)
{
    static const std::string sql = Spoken(bookkeeping::dropPath, dialect);
    Result gone = connection.Query(sql, Params().Bytes(path));
    dropped = gone.Rows() > 0;
    return Said(gone.Ok());
}

Outcome PostgresIndex::StartRun(std::int64_t& run)
{
    Result started =
        connection.Query("INSERT INTO runs (machine) VALUES ($1) RETURNING id", Params().Text(MachineName()));
    if (!started.Ok() || started.Rows() != 1)
        return Failed();
    run = started.Integer(0, 0);
    return Done();
}

Outcome PostgresIndex::FinishRun(std::int64_t run, const RunCounts& counts, bool complete)
{
    static const std::string sql = Spoken(bookkeeping::finishRun, dialect);
    return Said(connection
                    .Query(sql, Params()
                                    .Integer(run)
                                    .Boolean(complete)
                                    .Integer(counts.added)
                                    .Integer(counts.changed)
                                    .Integer(counts.unchanged)
                                    .Integer(counts.removed)
                                    .Integer(counts.failed))
                    .Ok());
}

Outcome PostgresIndex::ReadLastRun(LastRun& run)
{
    Result rows = connection.Query(
        "SELECT extract(epoch FROM started)::float8, extract(epoch FROM finished)::float8, complete, "
        "extract(epoch FROM coalesce(finished, started) - started)::float8, added, changed, unchanged, removed, "
        "failed FROM runs ORDER BY id DESC LIMIT 1");
    run.exists = rows.Rows() == 1;
    if (run.exists) {
        run.started = LocalTime(rows.Real(0, 0));
        run.finished = rows.Integer(0, 2) ? LocalTime(rows.Real(0, 1)) : std::string();
        run.seconds = rows.Real(0, 3);
        run.counts = {rows.Integer(0, 4), rows.Integer(0, 5), rows.Integer(0, 6), rows.Integer(0, 7),
                      rows.Integer(0, 8)};
    }
    return Said(rows.Ok());
}

Outcome PostgresIndex::Failed() const
{
    // By the SQLSTATE's class, or the code itself where a class holds kinds
    // apart.
    const std::string& state = connection.LastState();
    OutcomeKind kind = OutcomeKind::other;
    if (connection.Broken() || state.starts_with("08") || state == "57P01")
        kind = OutcomeKind::lost;
    else if (state == "53100")
        kind = OutcomeKind::full;
    else if (state == "53200")
        kind = OutcomeKind::memory;
    else if (state == "55P03" || state == "40001" || state == "40P01")
        kind = OutcomeKind::locked;
    else if (state == "XX001" || state == "XX002")
        kind = OutcomeKind::damaged;
    else if (state.starts_with("22") || state.starts_with("23"))
        kind = OutcomeKind::refused;
    return {kind, connection.LastError()};
}

Outcome PostgresIndex::Reconnect()
{
    if (connection.Alive())
        return Done();
    // A new connection: the server let the old one's locks go, and the
    // watcher's record names the new one.
    if (!connection.Open(connectionString) || !connection.Execute("SET search_path = trellan, public"))
        return {OutcomeKind::lost, "cannot connect to the PostgreSQL index " + location + ": " +
                                       postgres::WithoutSecrets(connection.LastError(), connectionString)};
    folderIds.clear();
    if (!lockedPaths.empty())
        if (Outcome locked = LockForRun(std::vector<std::string>(lockedPaths)); !locked)
            return locked;
    if (watcherRow &&
        !connection
             .Query("UPDATE watchers SET backend = pg_backend_pid(), connected = now() WHERE id = $1",
                    Params().Integer(watcherRow))
             .Ok())
        return Failed();
    return Done();
}

Outcome PostgresIndex::StartWatching()
{
    static const std::string sql = Spoken(bookkeeping::startWatching, dialect);
    Result row = connection.Query(sql, Params().Text(MachineName()).Integer(getpid()));
    if (!row.Ok() || row.Rows() != 1)
        return Failed();
    watcherRow = row.Integer(0, 0);
    return Done();
}

Outcome PostgresIndex::StopWatching()
{
    static const std::string sql = Spoken(bookkeeping::stopWatching, dialect);
    const bool stopped = !watcherRow || connection.Query(sql, Params().Integer(watcherRow)).Ok();
    watcherRow = 0;
    return Said(stopped);
}

Outcome PostgresIndex::ReadWatchers(std::vector<RunningWatcher>& watchers)
{
    // A watcher's row counts while the connection that wrote it is still
    // there; a killed watcher's stays behind, and is left out.
    Result rows = connection.Query(
        "SELECT machine, process, extract(epoch FROM started)::float8 FROM watchers w WHERE EXISTS "
        "(SELECT 1 FROM pg_stat_activity a WHERE a.pid = w.backend AND a.backend_start <= w.connected) ORDER BY id");
    for (int row = 0; row < rows.Rows(); ++row)
        watchers.push_back({std::string(rows.Bytes(row, 0)), rows.Integer(row, 1), LocalTime(rows.Real(row, 2))});
    return Said(rows.Ok());
}

Outcome PostgresIndex::CountByStatus(std::vector<StatusCount>& counts)
{
    Result rows = connection.Query(bookkeeping::countByStatus);
    for (int row = 0; row < rows.Rows(); ++row)
        counts.push_back({std::string(rows.Bytes(row, 0)), rows.Integer(row, 1)});
    return Said(rows.Ok());
}

Outcome PostgresIndex::ListFailures(std::vector<FailedFile>& files)
{
    static const std::string sql = Spoken(bookkeeping::listFailures, dialect);
    Result rows = connection.Query(sql);
    for (int row = 0; row < rows.Rows(); ++row)
        files.push_back({std::string(rows.Bytes(row, 0)), std::string(rows.Bytes(row, 1)),
                         std::string(rows.Bytes(row, 2)), rows.Integer(row, 3) != 0});
    return Said(rows.Ok());
}

Outcome PostgresIndex::CheckIntegrity()
{
    // Every file that was filtered has its texts (a failed one may keep
    // those of its last good filtering), and each vector is what its texts
    // make (but for those with scripts without spaces or letters the host
    // folds, whose vectors are made from what the host made of them).
    Result rows = connection.Query(
        "SELECT (SELECT count(*) FROM files LEFT JOIN texts ON texts.file = files.id "
        "        WHERE texts.file IS NULL AND NOT files.failed), "
        "       (SELECT count(*) FROM texts WHERE stems <> setweight(to_tsvector('trellan.stems', title), 'A')"
        TRELLAN_GAP "setweight(to_tsvector('trellan.stems', author), 'B')" TRELLAN_GAP
        "        setweight(to_tsvector('trellan.stems', comments), 'C')" TRELLAN_GAP
        "        setweight(to_tsvector('trellan.stems', media || ' ' || tags || ' ' || names), 'D')" TRELLAN_GAP
        "        setweight(to_tsvector('trellan.stems', body), 'D') AND "
        "        (title || author || comments || body) !~ '[ぁ-ヿｦ-ﾟ㐀-䶿一-鿿豈-﫿가-힯ᄀ-ᇿ" + FoldedLetters() + "]')");
    if (!rows.Ok())
        return Failed();
    if (rows.Integer(0, 0) == 0 && rows.Integer(0, 1) == 0)
        return Done();
    return {OutcomeKind::damaged, std::to_string(rows.Integer(0, 0)) + " files without their texts, " +
                                      std::to_string(rows.Integer(0, 1)) + " texts whose vector does not match them"};
}

namespace {

// Names sort by their keys in byte order, as SQLite compares them.
const SortKeySql sortKeySql = {"trellan.sort_key(@) COLLATE \"C\""};

// The place filters on `folders` and `files`, a path's value as bytes.
const PlaceSql placeSql = {
    "folders.path || '\\x2f'::bytea || files.name = @",
    "(folders.path = @ OR (folders.path >= @ || '\\x2f'::bytea AND folders.path < @ || '\\x30'::bytea))",
    "lower(encode(substring(files.name FROM length(files.name) - length(@)), 'escape')) = "
    "lower(encode('\\x2e'::bytea || @, 'escape'))",
    '$',
};

}  // namespace

namespace {

// A query as to_tsquery reads it: its tree rendered (empty for place
// filters alone), its terms one by one for the ranking, and its place
// filters.
struct Matching {
    std::string tsquery;
    std::vector<RankedTerm> terms;
    const std::vector<PlaceFilter>& places;
};

Matching Rendered(const Query& query)
{
    if (!query.HasWords())
        return {std::string(), {}, query.places};
    return {TsqueryText(query.words), TsqueryTerms(query.words), query.places};
}

// The number of the first parameter that holds a term: after the query
// ($1), the snippet's marks, the limit and the places.
int FirstTermParameter(const Matching& query)
{
    return 5 + int(query.places.size());
}

// The condition that a file holds term `n`: a number in its column, read
// from the file's row (the term's marked words stand once in its vector
// when the column holds the number, and never else), or else the term in its
// vector.
std::string Found(const RankedTerm& term, const std::string& n)
{
    if (!term.numberColumn)
        return "texts.stems @@ q.t" + n;
    return term.number ? "files." + std::string(term.numberColumn) + " = " + std::to_string(term.number) : "false";
}

// A double as SQL's float8 reads it back, bit for bit.
std::string Float8(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g::float8", value);
    return text;
}

// The query's two tsqueries, $1 rendered with stems and exact words, and
// each term's alone (t1, t2, ...), with their rarities (r1, r2, ...) where
// the ranking weighs them, more than one term (each count a subquery of its
// own, which the server runs once, wherever the planner puts `rarity`); or,
// for a query of place filters alone, the parameters $1 to $3 named.
std::string QueryWords(const Matching& query)
{
    if (query.tsquery.empty())
        return "WITH q AS (SELECT $1::text AS a, $2::text AS b, $3::text AS c) ";
    std::string terms, any, matched, rarities;
    bool numbers = false;
    for (size_t i = 0; i < query.terms.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        terms += ", to_tsquery('trellan.stems', $" + std::to_string(FirstTermParameter(query) + int(i)) + ") AS t" + n;
        any += std::string(i ? " || " : "") + "q.t" + n;
        numbers = numbers || query.terms[i].numberColumn;
        matched += ", count(*) FILTER (WHERE " + Found(query.terms[i], n) + ")::float8 AS m" + n;
        rarities += std::string(i ? ", " : "") + "greatest(ln((n.rows - n.m" + n + " + 0.5) / (n.m" + n +
                    " + 0.5)), " + Float8(kLeastRarity) + ") AS r" + n;
    }
    std::string sql = "WITH q AS (SELECT to_tsquery('trellan.stems', $1) AS stems, "
                      "to_tsquery('trellan.words', $1) AS words" + terms + ")";
    // Every term's files counted in one pass: over the files any term is in,
    // or over every file where a number is asked for (a range of years may
    // ask for a hundred).
    if (query.terms.size() > 1)
        sql += ", rarity AS (SELECT " + rarities + " FROM (SELECT (SELECT count(*)::float8 FROM trellan.texts) AS rows" +
               matched + " FROM trellan.texts JOIN trellan.files AS files ON files.id = texts.file, q" +
               (numbers ? std::string() : " WHERE texts.stems @@ (" + any + ")") + ") AS n)";
    return sql + " ";
}

// A match's rank (query/score.h): each term's count in each class it can
// be found in is ts_rank_cd of the term alone with the class's weight 1 and
// the others' 0, which adds 1 for each instance of the term there. The
// counts are taken once a match, in `counted` (OFFSET 0 keeps the planner
// from writing each where it is used), and summed term by term, class by
// class, as SQLite's index sums them. A term a NOT keeps out counts nothing.
struct RankSql {
    std::string counts;  // c1a, c1b, ...: the select list of `counted`
    std::string rank;    // the rank from them
};

RankSql Ranking(const Matching& query)
{
    static const char* const oneHot[rankClassCount] = {"{0,0,0,1}", "{0,0,1,0}", "{0,1,0,0}", "{1,0,0,0}"};
    RankSql made;
    std::string sum = "0::float8";
    for (size_t i = 0; i < query.terms.size(); ++i) {
        const RankedTerm& term = query.terms[i];
        if (term.excluded)
            continue;
        const std::string n = std::to_string(i + 1);
        const std::string rarity = query.terms.size() > 1 ? "rarity.r" + n : Float8(1.0);
        for (char letter : term.classes) {
            const std::string count = "counted.c" + n + char(letter - 'A' + 'a');
            const std::string counted = term.numberColumn ? "1::float8"
                                                          : "ts_rank_cd('" + std::string(oneHot[letter - 'A']) +
                                                                "', texts.stems, q.t" + n + ")::float8";
            made.counts += std::string(made.counts.empty() ? "" : ", ") + "CASE WHEN " + Found(term, n) + " THEN " +
                           counted + " ELSE 0 END AS c" + n + char(letter - 'A' + 'a');
            sum = "(" + sum + " + " + rarity + " * " + Float8(ClassWeight(letter)) + " * " + count + " * " +
                  Float8(kSaturation + 1) + " / (" + count + " + " + Float8(kSaturation) + "))";
        }
    }
    made.rank = "-" + sum;
    return made;
}

// The files the query matches, with what their order needs of the file's
// row and, for the orders by title and artist (`withNames`), of its texts:
// exact words first, then the rank (negated score, lower first, as for
// SQLite), when `ranked`. A search reads the texts of the hits it shows
// alone: carried for every match through the count and the sort, they
// filled temporary files on the server at thousands of hits.
// The tables a match is read from, by their schema's name: a search sets no
// search path (see Open).
constexpr const char* matchedTables = "trellan.texts AS texts JOIN trellan.files AS files ON files.id = texts.file "
                                      "JOIN trellan.folders AS folders ON folders.id = files.folder";

// The matches of a query of words from `tables`, with what their rank
// needs: the words and their rarities, and each match's counts.
std::string MatchedFrom(const Matching& query, const RankSql& ranking, const char* tables)
{
    return std::string(" FROM ") + tables + ", q" + (query.terms.size() > 1 && !ranking.counts.empty() ? ", rarity" : "") +
           (ranking.counts.empty() ? std::string()
                                   : " CROSS JOIN LATERAL (SELECT " + ranking.counts + " OFFSET 0) AS counted") +
           " WHERE texts.stems @@ q.stems" + PlaceConditions(query.places, 5, placeSql);
}

std::string MatchesSql(const Matching& query, bool withNames, bool ranked)
{
    const std::string head = std::string("SELECT texts.file AS id, ") +
                             (withNames ? "texts.title, texts.author, " : "") +
                             dialect.filePath + " AS path, " + MatchMediaColumns() + ", ";
    if (query.tsquery.empty())
        return head + "false AS exact, 0::float8 AS rank FROM " + matchedTables + ", q WHERE true" +
               PlaceConditions(query.places, 5, placeSql);
    const RankSql ranking = ranked ? Ranking(query) : RankSql{std::string(), "0::float8"};
    return head + "texts.words @@ q.words AS exact, " + ranking.rank + " AS rank" +
           MatchedFrom(query, ranking, matchedTables);
}

// The first page in rank order, for a query of words: every match is
// ranked and counted from its texts alone (`ranked`); the rank of the
// limit's last (`bar`) keeps those as good as it, ties included, and only
// those are joined to their files, one by one, for their paths (the ties'
// order) and their media. Joined and carried through the count and the
// sort, every match's path and media cost most of a search of many matches,
// and spilled to temporary files on the server.
std::string RankedPageSql(const Matching& query, const std::string& snippet)
{
    const RankSql ranking = Ranking(query);
    // The files and folders only for places, or a number asked of a column.
    bool filesAsked = !query.places.empty();
    for (const RankedTerm& term : query.terms)
        filesAsked = filesAsked || term.numberColumn;
    const std::string ranked = "SELECT texts.file AS id, texts.words @@ q.words AS exact, " + ranking.rank +
                               " AS rank" + MatchedFrom(query, ranking, filesAsked ? matchedTables : "trellan.texts AS texts");
    const std::string ordered = OrderBy(SearchOrder::rank, sortKeySql);
    return QueryWords(query) + ", ranked AS MATERIALIZED (" + ranked +
           "), bar AS MATERIALIZED (SELECT exact, rank FROM ranked ORDER BY exact DESC, rank LIMIT 1 OFFSET $4 - 1), "
           "kept AS MATERIALIZED (SELECT * FROM ranked WHERE NOT EXISTS (SELECT 1 FROM bar) OR EXISTS (SELECT 1 FROM "
           "bar WHERE ranked.exact > bar.exact OR (ranked.exact = bar.exact AND ranked.rank <= bar.rank))), "
           "top AS (SELECT kept.*, joined.*, (SELECT count(*) FROM ranked) AS total FROM kept CROSS JOIN LATERAL "
           "(SELECT " + std::string(dialect.filePath) + " AS path, " + MatchMediaColumns() +
           " FROM trellan.files AS files JOIN trellan.folders AS folders ON folders.id = files.folder WHERE files.id "
           "= kept.id) AS joined ORDER BY " + ordered + " LIMIT $4) SELECT path, shown_title, shown_author, " +
           snippet + ", rank, total, " + HitMediaColumns() +
           " FROM top CROSS JOIN q JOIN trellan.texts AS shown (file, shown_title, shown_author, shown_comments, "
           "shown_body) ON shown.file = top.id ORDER BY " + ordered;
}

Params MatchParams(const Matching& query, const SnippetMarks& marks, std::int64_t limit)
{
    Params params;
    params.Text(query.tsquery).Text(marks.open).Text(marks.close).Integer(limit);
    for (const PlaceFilter& place : query.places)
        params.Bytes(place.value);
    for (const RankedTerm& term : query.terms)
        params.Text(term.tsquery);
    return params;
}

// A list's rows: value, files, artist, year.
void Listed(const Result& rows, std::vector<ListedValue>& values)
{
    for (int row = 0; row < rows.Rows(); ++row)
        values.push_back({std::string(rows.Bytes(row, 0)), rows.Integer(row, 1), std::string(rows.Bytes(row, 2)),
                          rows.Integer(row, 3)});
}

}  // namespace

Outcome PostgresIndex::Search(const Query& asked, std::int64_t limit, const SnippetMarks& marks, SearchOrder order,
                              std::vector<SearchHit>& hits, std::int64_t& total)
{
    const Matching query = Rendered(asked);
    // The texts, and the snippet made of them, are taken after the limit:
    // only hits need them.
    const std::string ordered = OrderBy(order, sortKeySql);
    const bool byNames = OrdersByNames(order);
    const std::string snippet =
        query.tsquery.empty()
            ? "''::text"
            : "ts_headline('trellan.stems', CASE WHEN shown_body <> '' THEN shown_body ELSE concat_ws(E'\\n', "
              "shown_title, shown_author, shown_comments) END, q.stems, 'StartSel=\"' || replace($2, '\"', '') || "
              "'\", StopSel=\"' || replace($3, '\"', '') || '\", MaxWords=12, MinWords=4, MaxFragments=1, "
              "FragmentDelimiter=…')";
    // `OFFSET 0` keeps the matches a query of their own, so that their rank
    // is computed there and not from vectors carried into the count. The
    // hits' texts come in under names of their own (shown_...), so that the
    // order's title and author stay those of the matches.
    const std::string sql =
        order == SearchOrder::rank && !query.tsquery.empty() && limit > 0
            ? RankedPageSql(query, snippet)
            : QueryWords(query) + ", top AS (SELECT *, count(*) OVER () AS total FROM (" +
                  MatchesSql(query, byNames, true) + " OFFSET 0) AS matched ORDER BY " + ordered +
                  " LIMIT CASE WHEN $4 > 0 THEN $4 END) SELECT path, shown_title, shown_author, " + snippet +
                  ", rank, total, " + HitMediaColumns() +
                  " FROM top CROSS JOIN q JOIN trellan.texts AS shown (file, shown_title, shown_author, "
                  "shown_comments, shown_body) ON shown.file = top.id ORDER BY " + ordered;
    // The tsquery is rendered from a parsed query, so to_tsquery never
    // finds it malformed: what fails here is the server or the index.
    Result rows = connection.Query(sql, MatchParams(query, marks, limit));
    if (!rows.Ok())
        return Failed();
    // The count of every match comes with each hit, taken before the limit.
    total = rows.Rows() ? rows.Integer(0, 5) : 0;
    for (int row = 0; row < rows.Rows(); ++row) {
        SearchHit& hit = hits.emplace_back();
        hit.path = rows.Bytes(row, 0), hit.title = rows.Bytes(row, 1), hit.author = rows.Bytes(row, 2);
        hit.snippet = rows.Bytes(row, 3), hit.rank = rows.Real(row, 4);
        ReadHitMedia(
            hit, [&](int column) { return std::string(rows.Bytes(row, column)); },
            [&](int column) { return rows.Integer(row, column); });
    }
    return Done();
}

Outcome PostgresIndex::List(ListKind kind, const Query* asked, std::vector<ListedValue>& values)
{
    if (!asked) {
        Result rows = connection.Query(ListSql(kind, std::string(), "texts.file", sortKeySql, "trellan."));
        Listed(rows, values);
        return Said(rows.Ok());
    }
    const Matching query = Rendered(*asked);
    const std::string sql = QueryWords(query) + ListSql(kind, "SELECT id FROM (" + MatchesSql(query, false, false) +
                                                                  ") AS matched", "texts.file", sortKeySql, "trellan.");
    Result rows = connection.Query(sql, MatchParams(query, SnippetMarks(), 0));
    Listed(rows, values);
    return Said(rows.Ok());
}

}  // namespace host::index
