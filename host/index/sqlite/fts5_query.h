// A query tree as an FTS5 MATCH expression over the texts table's columns,
// which hold each property's words as they are and a user's tags after
// their markers.
#pragma once

#include "index/query/query_tree.h"

#include <string>
#include <string_view>

namespace host::index {

std::string Fts5Match(const QueryNode& node);

// `text` as an FTS5 string, its quotes doubled: one phrase of its tokens.
std::string Fts5Quoted(std::string_view text);

}  // namespace host::index
