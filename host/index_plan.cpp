#include "index_plan.h"

namespace host::index {

Verdict IndexPlan::Classify(const std::string& path, const FileStamp& stamp, std::int64_t& knownId)
{
    auto [place, isNew] = entries.try_emplace(path);
    Entry& entry = place->second;
    knownId = entry.file.id;
    if (entry.met)
        return Verdict::repeated;
    entry.met = true;
    if (isNew)
        return Verdict::added;
    if (!(entry.file.stamp == stamp))
        return Verdict::changed;
    return entry.file.failed ? Verdict::retried : Verdict::unchanged;
}

std::vector<std::int64_t> IndexPlan::Unmet(const std::vector<std::string>& keptFolders) const
{
    std::vector<std::int64_t> ids;
    for (const auto& [path, entry] : entries) {
        if (entry.met || !entry.file.id)
            continue;
        bool kept = false;
        for (const std::string& folder : keptFolders)
            kept = kept || path.compare(0, folder.size(), folder) == 0;
        if (!kept)
            ids.push_back(entry.file.id);
    }
    return ids;
}

}  // namespace host::index
