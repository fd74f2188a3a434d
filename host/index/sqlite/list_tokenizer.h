// The FTS5 tokenizer `trellan_list`: a text is a list of tokens made
// elsewhere, separated by single spaces, each passed on as it is. The leads
// table is split by it: its tokens were split by the texts' own tokenizer
// already (index/sqlite/stem_tally.h).
#pragma once

#include <sqlite3.h>

namespace host::index {

// Registers `trellan_list` on `db`; false when this SQLite has no FTS5 or
// the registration fails.
bool RegisterListTokenizer(sqlite3* db);

}  // namespace host::index
