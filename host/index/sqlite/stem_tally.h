// What the writer learns of a file's words while FTS5 indexes them, so that
// a search of a common word need not walk its every match:
// - `terms`, the number of files that hold each token of the texts table,
//   which is a one-word query's count of hits;
// - `leads`, for each file, the tokens it holds in its title, author or
//   comments whose match there, as a query of that word alone, scores at
//   least kLeastLeadLevel; each marked with its level, the whole part of
//   that score (query/score.h). A one-word query reads
//   its best candidates level by level, from the top, and stops when no
//   file below can pass the page's last.
// The stemming tokenizer reports each column it is given and each token it
// gives FTS5 to the tally of its connection, while the writer has armed it
// for one row (an insert, or the delete that reads the row's old texts
// back); the changes to the counts are kept here until they are written
// (index/sqlite/term_counts.h). Nothing is split twice.
#pragma once

#include "index/query/score.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host::index {

// A token with its hash, made once as the token is seen, and a hash of
// tokens that looks a view up without making a string of it.
struct HashedToken {
    std::string_view text;
    size_t hash;
};
size_t HashOfToken(std::string_view token);
struct TokenHash {
    using is_transparent = void;
    size_t operator()(std::string_view token) const { return HashOfToken(token); }
    size_t operator()(const HashedToken& token) const { return token.hash; }
};
struct SameToken {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
    bool operator()(const HashedToken& a, std::string_view b) const { return a.text == b; }
    bool operator()(std::string_view a, const HashedToken& b) const { return a == b.text; }
};
using TokenCounts = std::unordered_map<std::string, std::int64_t, TokenHash, SameToken>;

// The leading columns, one a class: title (A), author (B), comments (C).
// Every later column is of the last class (D), the body's.
inline constexpr int kLeadColumns = 3;

// A leads token: the token, this separator, and the level in decimal.
inline constexpr char kLevelSeparator = '\x1f';

// FTS5 keeps a token's first this many bytes, in the texts and in the
// leads alike; the tally counts a token as it is kept. A token so long
// that its level would be cut off is no lead, and its word is walked.
inline constexpr size_t kLongestToken = 32768;
inline constexpr size_t kLongestLeadToken = kLongestToken - 8;

// A token is a lead of a file from this level up (a word once in the
// title and once in the author, or twice in the title). Below it lie most
// files of a common word (its title's once, with the rest), which a page
// seldom reaches: they would make most of the leads, and a word whose page
// lies below it is walked instead.
inline constexpr int kLeastLeadLevel = 14;

// The level of a token counted `counts` times in each class of a row: the
// whole part of the score of a one-word query's match there.
int LeadLevel(const int (&counts)[rankClassCount]);

// The highest level there can be.
int TopLeadLevel();

class StemTally {
public:
    // Arms the tally for one row whose lead columns hold text where
    // `present` says so: FTS5 skips a column without text (NULL), so its
    // next calls of the tokenizer are the present lead columns, in order,
    // then the rest.
    void BeginRow(std::int64_t sign, const std::array<bool, kLeadColumns>& present);
    bool Armed() const { return sign != 0; }
    // From the tokenizer, while armed: a column begins; a token of it.
    void OnColumn() { ++column; }
    // False when memory ran short: the tokenizer fails the statement.
    bool OnToken(std::string_view token);
    // Disarms it; the row's leads tokens, space-separated, into `leads`,
    // and its tokens counted into the batch's changes (+1 or -1 a token).
    // False when memory ran short (the batch's changes are then unsure).
    bool EndRow(std::string& leads);
    // Disarms it, the row counted for nothing (its statement failed).
    void DropRow() { sign = 0; }

    // The changes not yet written, by token: a batch's, or a run's held
    // across its batches (index/sqlite/term_counts.h).
    const TokenCounts& Changes() const { return changes; }
    void Forget() { changes.clear(); }

private:
    void Count(std::string& leads, std::int64_t rowSign);

    struct Seen {
        size_t hash;
        std::uint32_t at, size;  // in `bytes`
        int rankClass;           // of its column
    };
    std::int64_t sign = 0;
    std::array<int, kLeadColumns> leadOfCall{};  // the lead column of each early call
    int presentLeads = 0;
    int column = -1;  // calls so far, less one
    std::string bytes;
    std::vector<Seen> seen;
    TokenCounts changes;
};

}  // namespace host::index
