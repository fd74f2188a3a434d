// The FTS5 tokenizer `trellan_stem`: it wraps another tokenizer, named with
// its arguments after its own ('trellan_stem trellan_pairs unicode61 ...'),
// and reports each of that parent's tokens by its English stem, as the
// Snowball English stemmer (libstemmer's "english", the stemmer PostgreSQL's
// english_stem uses) makes it, so that both back ends find the same forms of
// a word: "lie" finds "lying", "sky" finds "skies". Tokens of other scripts
// and of digits alone pass as they are.
#pragma once

#include <sqlite3.h>

namespace host::index {

// The stemmer's version, kept in the index's settings with the pairs' and
// the folding's: texts stemmed otherwise are split anew.
constexpr int stemmerVersion = 1;

// Registers `trellan_stem` on `db`; false when this SQLite has no FTS5 or
// the registration fails.
bool RegisterStemTokenizer(sqlite3* db);

}  // namespace host::index
