// The run's plan: the index's files, by folder, set against the stamps of
// the files the walk meets, and what the walk did not meet at the end.
#include "index/run/plan.h"

namespace host::index {

IndexPlan::Names& IndexPlan::Folder(std::string_view folder)
{
    if (!lastFolder || folder != lastFolderPath) {
        lastFolderPath = folder;
        lastFolder = &folders[lastFolderPath];
    }
    return *lastFolder;
}

void IndexPlan::Know(std::string_view folder, std::string_view name, const KnownFile& file)
{
    Folder(folder).try_emplace(std::string(name), Entry{file, false});
}

bool IndexPlan::Knows(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const Names& names = Folder(folder);
    const auto found = names.find(std::string(path.substr(slash + 1)));
    return found != names.end() && found->second.file.id != 0;
}

Verdict IndexPlan::Classify(std::string_view path, const FileStamp& stamp, std::int64_t& knownId,
                            std::uint32_t* failure)
{
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    auto [place, isNew] = Folder(folder).try_emplace(std::string(path.substr(slash + 1)));
    Entry& entry = place->second;
    knownId = entry.file.id;
    if (failure)
        *failure = entry.file.failure;
    if (entry.met)
        return Verdict::repeated;
    entry.met = true;
    if (isNew)
        return Verdict::added;
    if (!(entry.file.stamp == stamp))
        return Verdict::changed;
    if (!entry.file.failed)
        return Verdict::unchanged;
    return entry.file.filterDown ? Verdict::heldDown : Verdict::retried;
}

std::vector<std::int64_t> IndexPlan::Unmet(const std::vector<std::string>& keptFolders,
                                           const std::vector<std::string>& scope) const
{
    std::vector<std::int64_t> ids;
    for (const auto& [folder, names] : folders) {
        const std::string prefix = folder + "/";
        bool kept = false;
        for (const std::string& keptFolder : keptFolders)
            kept = kept || prefix.compare(0, keptFolder.size(), keptFolder) == 0;
        bool folderInScope = scope.empty();
        for (const std::string& path : scope)
            folderInScope = folderInScope || IsUnder(folder, path);
        for (const auto& [name, entry] : names) {
            if (kept || entry.met || !entry.file.id)
                continue;
            bool inScope = folderInScope;
            for (size_t i = 0; !inScope && i < scope.size(); ++i)
                inScope = IsUnder(prefix + name, scope[i]);
            if (inScope)
                ids.push_back(entry.file.id);
        }
    }
    return ids;
}

}  // namespace host::index
