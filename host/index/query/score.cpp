// The weights of the ranking's classes, read from the field table, and a
// phrase's rarity.
#include "index/query/score.h"

#include "index/query/fields.h"

#include <cmath>

namespace host::index {

double ClassWeight(char letter)
{
    for (size_t i = 0; i < fieldCount; ++i)
        if (fieldTable[i].weight == letter && fieldTable[i].rank > 0)
            return fieldTable[i].rank;
    return 1.0;
}

double Rarity(std::int64_t rows, std::int64_t matched)
{
    const double rarity = std::log((double(rows) - double(matched) + 0.5) / (double(matched) + 0.5));
    return rarity > kLeastRarity ? rarity : kLeastRarity;
}

}  // namespace host::index
