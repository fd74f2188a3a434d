// The key names are sorted by: case, accents and the letters people type
// without their marks folded away, so that "Àpres" sorts among the A's and
// "Ørsted" among the O's, not after "Zappa". Latin letters are folded
// (ASCII, Latin-1, Latin Extended-A); other scripts sort by their bytes.
#pragma once

#include <string>
#include <string_view>

namespace host {

std::string SortKey(std::string_view utf8);

}  // namespace host
