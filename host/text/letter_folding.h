// Letters that people type without their marks but that are no accented
// forms, so that accent removal keeps them: ð, ø, þ, æ, œ, ł, ß and their
// kind. Folded to the letters typed for them ("Sigurðardóttir" is found by
// "sigurdardottir", "Ørsted" by "orsted", "Straße" by "strasse"), upper and
// lower case alike, at indexing and at query time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The fold's version, kept in an index that folds: an index folded by
// another version is filtered again rather than searched with other words.
constexpr int letterFoldingVersion = 1;

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
