// The fields a query names: the four texts a filter gives (title, author,
// comments, body), the properties the index keeps beside them (album,
// genre, year, ...), a user's own tags, and where the file is. Each row
// says how the index holds the field and what it weighs, so that the
// parser, the back ends' renderings, SQLite's full-text columns and both
// rankings read one list (and the help, the manual page and the shells'
// completions are checked against it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {
struct MediaProperties;
}

namespace host::index {

enum class FieldKind {
    text,      // one of the four texts: a full-text column, a weight on PostgreSQL
    words,     // a property's words: a column on SQLite, marked words on PostgreSQL
    number,    // a property that is a number: year:2003, year:1995..1999
    tag,       // tag:NAME:word, a tag of the user's, marked words in the tags column
    place,     // path:, dir:, ext: filter the whole query by where the file is
};

enum class PlaceKind { path, dir, ext };

struct SearchHit;

struct Field {
    const char* name;    // as typed before the colon; null for a column no query names
    FieldKind kind;
    const char* column;  // the full-text column on SQLite; null for a place
    double rank;         // on the text that names a class, the class's weight in the ranking; else 0
    char weight;         // the class its words rank in, a tsvector weight (A to D); 0 for a place
    const char* marker;  // the name its words are marked with (FieldMarker); null for a text
    PlaceKind place;     // for a place
    // Where a hit holds it, for --format and --json: a text or a number
    // (null for what a hit does not show); and where the index stores it,
    // for list, on both back ends (null where no list reads it).
    std::string SearchHit::*shownText;
    std::int64_t SearchHit::*shownNumber;
    const char* stored;
    // Where a file's media properties hold it, for the entry the index
    // stores (null for a text, a name or the tags).
    std::string MediaProperties::*propertyText;
    std::int64_t MediaProperties::*propertyNumber;
};

// A property's value among a file's `properties`, as its words: a number
// in digits, "" where the file has none.
std::string PropertyText(const Field& field, const MediaProperties& properties);

// In the order of the full-text columns: the four texts first, then the
// properties; each column under its first name (an alias repeats it).
extern const Field fieldTable[];
extern const size_t fieldCount;

// The full-text columns in their order, each once, by the first row that
// names it (an alias repeats a column).
const std::vector<const Field*>& ColumnFields();


// The row named `name` (any case), or null.
const Field* FindField(std::string_view name);

// The names, as a sentence for an error that names a field that is none.
const std::string& FieldNameList();

}  // namespace host::index
