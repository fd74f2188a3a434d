// Which files a run filters: the walk's paths and stamps (size,
// modification time, change time, file number) set against what the index
// holds. A file is new, changed (a part of its stamp differs) or unchanged;
// an unchanged file that failed last time is tried again, since what made
// it fail (a missing filter, a permission) may have been put right without
// touching the file; but one that brought
// its filter down (a crash, a hang) is held until it or its filter changes,
// so that a run never pays for the same crash twice. Files that the walk
// did not meet under the run's paths are gone: they leave the index once
// the walk is complete.
#pragma once

#include "index/store/database.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace host::index {

enum class Verdict {
    added,      // not in the index: filter
    changed,    // in the index with another stamp: filter again
    retried,    // unchanged, but it failed last time: filter again
    heldDown,   // unchanged, and it brought its filter down last time: filter again only if the filter changed
    unchanged,  // skip
    repeated,   // met before in this walk (a path given twice): skip
};

// Paths are the file system's bytes, a folder and a name: "/music/a.mp3" is
// "/music" and "a.mp3".
class IndexPlan {
public:
    // Adds a file that the index holds.
    void Know(std::string_view folder, std::string_view name, const KnownFile& file);

    // Whether the index holds `path`, without marking it met.
    bool Knows(std::string_view path);

    // Marks `path` as met, and answers what to do with it. `knownId` is the
    // file's row, 0 for a new file.
    // With `failure`, what the file failed with last time (0: none).
    Verdict Classify(std::string_view path, const FileStamp& stamp, std::int64_t& knownId,
                     std::uint32_t* failure = nullptr);

    // Rows of the files that the walk did not meet, but for those under any
    // of `keptFolders` (folder paths that end in a separator); with `scope`,
    // only those under one of its paths.
    std::vector<std::int64_t> Unmet(const std::vector<std::string>& keptFolders = {},
                                    const std::vector<std::string>& scope = {}) const;

private:
    struct Entry {
        KnownFile file;  // id 0: a new file
        bool met = false;
    };
    // By folder, then by name: names are short, and a walk meets a folder's
    // files together.
    using Names = std::unordered_map<std::string, Entry>;
    Names& Folder(std::string_view folder);

    std::unordered_map<std::string, Names> folders;
    Names* lastFolder = nullptr;
    std::string lastFolderPath;
};

}  // namespace host::index
