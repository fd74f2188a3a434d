// The FTS5 tokenizer `trellan_pairs`: it wraps another tokenizer, named with
// its arguments after its own ('trellan_pairs unicode61 remove_diacritics 2',
// itself wrapped by the stemmer as 'trellan_stem trellan_pairs ...'), and
// passes on every token of that parent as it is, except those holding Han,
// Kana or Hangul, which it splits as PairCjkRuns does (text/cjk_pairs.h):
// each run of those characters into overlapping pairs, each pair reported
// with the byte offsets of its two characters in the text, so that
// highlights mark them; letters of other scripts in the same token become
// tokens of their own. Queries are split the same way: "東京タワー" is the
// phrase of its pairs, and 東京* still finds by prefix. A stored text also
// gives each character of a run as a token at the place of its pair (the
// last character at the last pair's), so that a word of one character, and
// a prefix of one, is found wherever it stands.
#pragma once

#include <sqlite3.h>

namespace host::index {

// Registers `trellan_pairs` on `db` (through SQLite's fts5_api, which every
// connection must be given before it reads or writes a table that uses the
// tokenizer). False when this SQLite has no FTS5 or the registration fails:
// sqlite3_errmsg(db) may then say why.
bool RegisterPairTokenizer(sqlite3* db);

// The FTS5 API of `db`, through which tokenizers and ranking functions are
// registered; null when this SQLite has no FTS5.
fts5_api* FindFts5(sqlite3* db);

}  // namespace host::index
