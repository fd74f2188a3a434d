// Runs arbitrary bytes through the search query's parser as `trellan
// search` reads its words. A query the parser takes must render to an
// expression FTS5 takes too, on a table made as the index's texts table
// is; one it refuses must say what and where. A crash, a sanitizer report,
// an expression FTS5 calls malformed or a silent refusal is a finding.
#include "index/query/query_parser.h"
#include "index/sqlite/fts5_query.h"
#include "index/sqlite/pair_tokenizer.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// One connection for the run: a texts table with two rows to match.
sqlite3* Texts()
{
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        if (sqlite3_open(":memory:", &opened) != SQLITE_OK || !host::index::RegisterPairTokenizer(opened) ||
            sqlite3_exec(opened,
                         "CREATE VIRTUAL TABLE texts USING fts5(title, author, comments, body, album, albumartist, "
                         "genre, composer, year, track, name, folders, tags, "
                         "tokenize = 'porter trellan_pairs unicode61 remove_diacritics 2');"
                         "INSERT INTO texts VALUES ('Harbour Lights', 'Mira', '', 'a b c 東京タワー', 'Salt', '', "
                         "'jazz', '', '2003', '1', 'track01', 'lib', 'qqtagmood wistful');",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        return opened;
    }();
    return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    host::index::Query query;
    host::index::QueryError error;
    if (!host::index::ParseQuery(text, query, error)) {
        if (error.problem.empty() || error.at > size)
            std::abort();  // a refusal always says what and where
        return 0;
    }
    if (!query.HasWords())
        return 0;
    const std::string match = host::index::Fts5Match(query.words);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(Texts(), "SELECT count(*) FROM texts WHERE texts MATCH ?1", -1, &statement, nullptr) !=
        SQLITE_OK)
        std::abort();
    sqlite3_bind_text(statement, 1, match.data(), int(match.size()), SQLITE_TRANSIENT);
    const int stepped = sqlite3_step(statement);
    if (stepped != SQLITE_ROW) {
        std::fprintf(stderr, "FTS5 refuses the rendering of %s: %s\n%s\n", host::index::DescribeQuery(query.words).c_str(),
                     sqlite3_errmsg(Texts()), match.c_str());
        std::abort();
    }
    sqlite3_finalize(statement);
    return 0;
}
