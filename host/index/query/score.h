// How a match ranks, the same on either back end. The texts fall into
// four classes, a field table letter each (title A, author B, comments C,
// and D for the body with the properties, tags and names), because
// PostgreSQL's vectors tell four apart and no more. A match scores, for each
// phrase of the query (each term, as the query is written), the phrase's
// rarity times, for each class, the class's weight times the phrase's count
// there, saturated as BM25 saturates it (k1 = 1.2). A column's length does
// not lower a match's score: reading each match's lengths cost most of a
// search that matches thousands of files. A query of one phrase leaves the
// rarity out (it is 1), a factor common to every match. Ranks are the
// scores negated, so that lower ranks come first.
//
// Each back end computes the same sums in the same order, so that equal
// counts give equal ranks, and ties fall to the path on both.
#pragma once

#include <cstdint>

namespace host::index {

inline constexpr double kSaturation = 1.2;
// No phrase is rarer than nothing: a phrase in most files still counts.
inline constexpr double kLeastRarity = 1e-6;
inline constexpr int rankClassCount = 4;  // 'A' to 'D'

// The weight of class `letter` ('A' to 'D'): that of the text that names it
// in the field table.
double ClassWeight(char letter);

// BM25's inverse document frequency of a phrase found in `matched` of
// `rows` files, never below kLeastRarity.
double Rarity(std::int64_t rows, std::int64_t matched);

// What `count` instances of a phrase of `rarity` in a class of `weight` add
// to a match's score.
inline double ClassScore(double rarity, double weight, double count)
{
    return rarity * weight * count * (kSaturation + 1) / (count + kSaturation);
}

}  // namespace host::index
