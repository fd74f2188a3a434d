// How `trellan search` prints a hit: for people (the path, the title and
// author, a snippet with the matches marked, in colour on a terminal), as
// JSON, as a path alone (a line, or NUL-ended), or by a template of the
// user's with the hit's fields in braces.
#pragma once

#include "index/store/database.h"

#include <string>

namespace host::index {

struct HitStyle {
    enum Kind { text, json, paths, nul, formatted } kind = text;
    std::u16string format;     // kind format: "{artist} - {title}"
    bool terminal = false;     // standard output is a terminal: control characters escaped
    bool colour = false;       // matches highlighted, rather than [bracketed]
};

// The marks the search puts around matches for AppendHit to replace.
SnippetMarks HitMarks();

// False, with `error` naming it, for a template that names a field a hit
// does not have.
bool CheckFormat(const std::u16string& format, std::string& error);

void AppendHit(std::string& out, const SearchHit& hit, const HitStyle& style);

}  // namespace host::index
