// A query tree as an FTS5 MATCH expression over the texts table's columns,
// which hold each property's words as they are and a user's tags after
// their markers.
#pragma once

#include "index/query/query_tree.h"

#include <string>

namespace host::index {

std::string Fts5Match(const QueryNode& node);

}  // namespace host::index
