// The tally of a row's tokens as FTS5 indexes them, and the levels of its
// leads.
#include "index/sqlite/stem_tally.h"

#include "index/query/score.h"
#include "index/sqlite/ranking.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace host::index {

size_t HashOfToken(std::string_view token)
{
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: tokens are short
    for (char c : token)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return size_t(hash);
}

int LeadLevel(const int (&counts)[rankClassCount])
{
    return int(std::floor(-OneWordRank(counts)));
}

int TopLeadLevel()
{
    double most = 0;
    for (int k = 0; k < rankClassCount; ++k)
        most += ClassWeight(char('A' + k)) * (kSaturation + 1);
    return int(std::floor(most));
}

void StemTally::BeginRow(std::int64_t rowSign, const std::array<bool, kLeadColumns>& present)
{
    sign = rowSign;
    presentLeads = 0;
    for (int lead = 0; lead < kLeadColumns; ++lead)
        if (present[size_t(lead)])
            leadOfCall[size_t(presentLeads++)] = lead;
    column = -1;
    bytes.clear();
    seen.clear();
}

bool StemTally::OnToken(std::string_view token)
{
    const int rankClass = column >= 0 && column < presentLeads ? leadOfCall[size_t(column)] : rankClassCount - 1;
    token = token.substr(0, kLongestToken);
    try {
        seen.push_back({HashOfToken(token), std::uint32_t(bytes.size()), std::uint32_t(token.size()), rankClass});
        bytes.append(token);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool StemTally::EndRow(std::string& leads)
{
    const std::int64_t rowSign = sign;
    sign = 0;
    try {
        Count(leads, rowSign);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void StemTally::Count(std::string& leads, std::int64_t rowSign)
{
    leads.clear();
    const auto text = [this](const Seen& token) { return std::string_view(bytes).substr(token.at, token.size); };
    // In the order of their hashes, each token's instances side by side
    // (the leads' order is of no matter).
    std::sort(seen.begin(), seen.end(), [&](const Seen& a, const Seen& b) {
        return a.hash != b.hash ? a.hash < b.hash : text(a) < text(b);
    });
    for (size_t first = 0; first < seen.size();) {
        const std::string_view token = text(seen[first]);
        int counts[rankClassCount] = {};
        size_t end = first;
        for (; end < seen.size() && seen[end].hash == seen[first].hash && text(seen[end]) == token; ++end)
            ++counts[seen[end].rankClass];
        const int level = std::any_of(counts, counts + kLeadColumns, [](int count) { return count > 0; })
                              ? LeadLevel(counts)
                              : 0;
        if (level >= kLeastLeadLevel && token.size() <= kLongestLeadToken) {
            if (!leads.empty())
                leads += ' ';
            leads.append(token).append(1, kLevelSeparator).append(std::to_string(level));
        }
        if (const auto change = changes.find(HashedToken{token, seen[first].hash}); change != changes.end())
            change->second += rowSign;
        else
            changes.emplace(std::string(token), rowSign);
        first = end;
    }
}

}  // namespace host::index
