// A query tree as the text of a PostgreSQL tsquery (to_tsquery's input),
// the texts' fields as the weights of one vector, the properties' words
// after their markers.
#pragma once

#include "index/query/query_tree.h"

#include <string>

namespace host::index {

std::string TsqueryText(const QueryNode& node);

}  // namespace host::index
