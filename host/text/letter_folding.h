// Letters that people type without their marks: the Latin and Greek
// letters with accents ("Café" is found by "cafe", "Αθήνα" by "αθηνα"),
// Cyrillic ё ("ёлка" by "елка"), and those that are no accented forms, so
// that accent removal keeps them: ð, ø, þ, æ, œ, ł, ß and their kind
// ("Sigurðardóttir" is found by "sigurdardottir", "Ørsted" by "orsted",
// "Straße" by "strasse"). Folded to the letters typed for them, upper and
// lower case alike, at indexing and at query time, in this process, so
// that both back ends find the same words whatever their own folding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The fold's version, kept in an index that folds: an index folded by
// another version is filtered again rather than searched with other words.
constexpr int letterFoldingVersion = 2;

// `utf8` with each of those letters replaced by its plain letters, in
// `folded`, and for each byte of `folded` (and its end) the offset in
// `utf8` it came from, in `origins`. False, with neither touched, when
// `utf8` holds none of them (most text).
bool FoldLetters(std::string_view utf8, std::string& folded, std::vector<int>& origins);

// `utf8` with those letters folded, for a text whose offsets nobody needs:
// `utf8` itself when it holds none (nothing copied), else `storage`, which
// holds the folded text (left empty otherwise).
std::string_view LettersFolded(std::string_view utf8, std::string& storage);

// Every letter the fold replaces, one after the other (UTF-8), for a
// pattern that must know them.
const std::string& FoldedLetters();

}  // namespace host
