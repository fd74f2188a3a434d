// UTF-16 text to UTF-8 output in one pass, escaped for where it goes. Runs
// of plain ASCII are copied in bulk.
#pragma once

#include <string>
#include <string_view>

namespace host {

enum class Escaping {
    json,      // the contents of a JSON string: quote, backslash and control characters escaped
    terminal,  // text for people: control characters escaped as JSON escapes them, nothing else
};

// Appends `text` to `out`. Control characters (U+0000..U+001F, U+007F,
// U+0080..U+009F) never pass through raw: \n, \r, \t, or \u00XX. A lone
// surrogate (a file name's byte that was not UTF-8, or damaged text) is
// written as its \uDXXX escape, so that nothing is lost.
void AppendEscaped(std::string& out, std::u16string_view text, Escaping escaping);

// AppendEscaped into a new JSON string literal, quotes included.
std::string JsonString(std::u16string_view text);

}  // namespace host
