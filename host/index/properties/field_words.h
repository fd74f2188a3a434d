// How the index finds a word in one field of the file's properties (its
// album, its genre, its name, a tag of the user's) where a field has no
// full-text column of its own (a tag of the user's, on both back ends;
// every property on PostgreSQL, whose vectors tell four fields apart):
// each word of a field is stored after the field's marker ("qqalbum
// harbour qqalbum lights"), so that `album:harbour` is the phrase "qqalbum
// harbour", while the plain word `harbour` still finds the file. Markers
// are words no text holds.
#pragma once

#include "filtering/media_properties.h"

#include <string>
#include <string_view>
#include <vector>

namespace host::index {

// The words of `text` (UTF-8) as the index's tokenizers see them: runs of
// letters and digits, scripts without spaces split into overlapping pairs.
std::vector<std::string> SplitWords(std::string_view text);

// `text`'s words, each after `marker`, appended to `out` (space-separated).
void AppendFieldWords(std::string& out, std::string_view marker, std::string_view text);

// Each character of the words of `marked` (text made by AppendFieldWords,
// and plain words) that are in a script without spaces, after the marker
// its word follows, if any: "qqalbum 夜景" gives "qqalbum 夜 qqalbum 景",
// for an index that keeps a text's characters after it (PostgreSQL), so
// that album:夜 is found.
std::string MarkedCharacters(std::string_view marked);

// The marker of a field: "qq" and its name; of a tag: "qqtag" and its
// folded name with what is not a letter or a digit left out.
std::string FieldMarker(std::string_view field);
std::string TagMarker(std::string_view name);

// The texts of the properties with their markers: the media fields (album,
// album artist, genre, composer, year, track, disc), the other tags, and the
// file's name and the names of its folder and the one above (`path` the
// file system's bytes).
std::string MediaWords(const MediaProperties& properties);
std::string TagWords(const MediaProperties& properties);
std::string NameWords(std::string_view path);

// The file's name and the names of its folder and the one above (an
// album's and its artist's, as libraries are laid out), in UTF-8; the
// folders further up (a home, a mount) would match every file.
struct FileNames {
    std::string name, folders;
};
FileNames NamesOf(std::string_view path);

}  // namespace host::index
