// The run's plan: the index's files, by folder, set against the stamps of
// the files the walk meets, and what the walk did not meet at the end.
#include "index/run/plan.h"

#include <algorithm>

namespace host::index {

void IndexPlan::ReadFoldersFrom(std::unique_ptr<KnownFolders> folders)
{
    reader = std::move(folders);
}

void IndexPlan::KeepUnmet(const std::string& folder, const Names& names)
{
    for (const auto& [name, entry] : names)
        if (!entry.met && entry.file.id)
            unseen.push_back({folder, name, entry.file.id});
}

void IndexPlan::LeaveFoldersOutside(std::string_view folder)
{
    // `open` is a chain, each folder within the one before it.
    while (!open.empty()) {
        const std::string& last = open.back();
        if (IsUnder(folder, last))
            return;
        const auto found = folders.find(last);
        KeepUnmet(found->first, found->second);
        if (lastFolder == &found->second)
            lastFolder = nullptr;
        folders.erase(found);
        open.pop_back();
    }
}

IndexPlan::Names* IndexPlan::Folder(std::string_view folder)
{
    if (lastFolder && folder == lastFolderPath)
        return lastFolder;
    if (reader) {
        if (!failure)
            return nullptr;  // the index could not be read: the run ends
        LeaveFoldersOutside(folder);
    }
    auto [place, isNew] = folders.try_emplace(std::string(folder));
    if (reader && isNew) {
        std::int64_t id = 0;
        failure = reader->Load(folder, id, [names = &place->second](std::string_view, std::string_view name,
                                                                    const KnownFile& file) {
            names->try_emplace(std::string(name), Entry{file, false});
        });
        if (!failure) {
            folders.erase(place);
            lastFolder = nullptr;
            return nullptr;
        }
        if (id)
            visited.push_back(id);
        open.push_back(place->first);
    }
    lastFolderPath = folder;
    lastFolder = &place->second;
    return lastFolder;
}

void IndexPlan::Know(std::string_view folder, std::string_view name, const KnownFile& file)
{
    if (Names* names = Folder(folder))
        names->try_emplace(std::string(name), Entry{file, false});
}

bool IndexPlan::Knows(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const Names* names = Folder(folder);
    if (!names)
        return false;
    const auto found = names->find(std::string(path.substr(slash + 1)));
    return found != names->end() && found->second.file.id != 0;
}

Verdict IndexPlan::Classify(std::string_view path, const FileStamp& stamp, std::int64_t& knownId,
                            std::uint32_t* failure)
{
    knownId = 0;
    if (failure)
        *failure = 0;
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    Names* names = Folder(folder);
    if (!names)
        return Verdict::repeated;  // the index could not be read: nothing is done with the file
    auto [place, isNew] = names->try_emplace(std::string(path.substr(slash + 1)));
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

Outcome IndexPlan::FindUnvisited(const std::vector<std::string>& scope)
{
    if (!reader)
        return Done();
    std::sort(visited.begin(), visited.end());
    return reader->LoadOthers(scope, visited, [&](std::string_view folder, std::string_view name,
                                                  const KnownFile& file) {
        unseen.push_back({std::string(folder), std::string(name), file.id});
    });
}

std::vector<std::int64_t> IndexPlan::Unmet(const std::vector<std::string>& keptFolders,
                                           const std::vector<std::string>& scope)
{
    if (reader)
        LeaveFoldersOutside("/");  // what the walk was still in
    std::vector<std::int64_t> ids;
    auto judge = [&](const std::string& folder, const std::string& name, std::int64_t id) {
        const std::string prefix = folder + "/";
        bool kept = false;
        for (const std::string& keptFolder : keptFolders)
            kept = kept || prefix.compare(0, keptFolder.size(), keptFolder) == 0;
        bool inScope = scope.empty();
        for (size_t i = 0; !inScope && i < scope.size(); ++i)
            inScope = IsUnder(folder, scope[i]) || IsUnder(prefix + name, scope[i]);
        if (!kept && inScope)
            ids.push_back(id);
    };
    for (const auto& [folder, names] : folders)
        for (const auto& [name, entry] : names)
            if (!entry.met && entry.file.id)
                judge(folder, name, entry.file.id);
    for (const Unseen& file : unseen)
        judge(file.folder, file.name, file.id);
    return ids;
}

}  // namespace host::index
