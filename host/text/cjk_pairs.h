// Words in scripts written without spaces (Chinese, Japanese, Korean) made
// findable inside longer runs: each run of such characters is split into
// overlapping pairs ("東京タワー" -> "東京 京タ タワ ワー"), at indexing and at
// query time alike, so that a word of two or more characters is the phrase
// of its pairs and is found wherever it stands; each character is stored
// as a word too, so that a word of one character is found. Both back ends
// use this one splitting: PostgreSQL stores PairCjkRuns of every text it
// indexes, then CjkCharacters, and SQLite's tokenizer
// (index/sqlite/pair_tokenizer) splits its parent's tokens with the same
// core below, each character beside its pair. PairCjkRuns runs on every
// stored text, so text without these scripts costs one scan and a copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

// The splitting's version, kept in the index's schema: an index made with
// another version is filtered again rather than searched with other pairs.
// Version 2 gives each character of a run beside its pairs.
constexpr int cjkPairsVersion = 2;

// Whether `utf8` holds a Han, Hiragana, Katakana or Hangul character (or the
// iteration mark 々). Invalid UTF-8 is skipped, never read as such a character.
bool HasCjk(std::string_view utf8);

// `utf8` with each run of two or more of those characters replaced by its
// overlapping pairs separated by spaces; a run of one stays as it is. A run
// next to a letter or digit of another script gets a space between the two
// ("ABC東京" -> "ABC 東京"). Every other byte, invalid UTF-8 included, is
// kept as it is. Punctuation (。、「」) and full-width Latin end a run.
std::string PairCjkRuns(std::string_view utf8);

// The characters of `utf8`'s runs, one a word, separated by spaces: stored
// after a text, so that a word of one character is found.
std::string CjkCharacters(std::string_view utf8);

// The shared core. A run: the bytes [start, end) of a text, all of them
// characters of those scripts, with none just before or after.
struct CjkRun {
    std::size_t start = 0;
    std::size_t end = 0;
};

// The first run in `utf8` that starts at or after `from`; false when there
// is none.
bool FindCjkRun(std::string_view utf8, std::size_t from, CjkRun* run);

// The length of the character of a run at `at`: every one is three bytes
// long (U+1100..U+FFFF) or four.
inline std::size_t CjkCharacterLength(std::string_view utf8, std::size_t at) {
    return static_cast<unsigned char>(utf8[at]) >= 0xF0 ? 4 : 3;
}

// Calls visit(start, end) for each piece of `run` in order, as PairCjkRuns
// writes them: the bytes of each overlapping pair, or of the one character
// of a run of one.
template <typename Visit>
void ForEachCjkPiece(std::string_view utf8, CjkRun run, Visit visit) {
    auto length = [&](std::size_t at) { return CjkCharacterLength(utf8, at); };
    std::size_t first = run.start;
    std::size_t second = first + length(first);
    if (second >= run.end) {
        visit(first, run.end);
        return;
    }
    while (second < run.end) {
        const std::size_t after = second + length(second);
        visit(first, after);
        first = second;
        second = after;
    }
}

}  // namespace host
