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
//
// The plan holds either everything the index holds under the run's paths,
// given up front (Know), or, folder by folder (ReadFoldersFrom), what it
// holds of the folders the walk is in: a walk goes depth first, so once it
// has left a folder for one outside it, it never comes back to it (where
// the run's paths are folders, none within another), and what it did not
// meet there is gone. Then the plan's memory grows with the depth of the
// walk and the files that went, not with the library.
#pragma once

#include "index/store/database.h"

#include <memory>
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
    // Reads what the index holds folder by folder, as the walk comes to
    // each, from `folders`, instead of from Know: for a walk of folders
    // alone, none within another.
    void ReadFoldersFrom(std::unique_ptr<KnownFolders> folders);
    bool ReadsFolderByFolder() const { return reader != nullptr; }

    // Whether the index holds `path`, without marking it met.
    bool Knows(std::string_view path);

    // Marks `path` as met, and answers what to do with it. `knownId` is the
    // file's row, 0 for a new file.
    // With `failure`, what the file failed with last time (0: none).
    Verdict Classify(std::string_view path, const FileStamp& stamp, std::int64_t& knownId,
                     std::uint32_t* failure = nullptr);

    // Why a folder could not be read from the index; done while every one
    // could. The plan then knows nothing of that folder and what follows.
    const Outcome& Failure() const { return failure; }

    // Once the walk is complete and the run's writes are done, with
    // folders read one by one: the files under `scope` in the folders the
    // walk never came to (gone, left out, or holding no file it met) are
    // unmet too.
    Outcome FindUnvisited(const std::vector<std::string>& scope);

    // Rows of the files that the walk did not meet, but for those under any
    // of `keptFolders` (folder paths that end in a separator); with `scope`,
    // only those under one of its paths.
    std::vector<std::int64_t> Unmet(const std::vector<std::string>& keptFolders = {},
                                    const std::vector<std::string>& scope = {});

private:
    struct Entry {
        KnownFile file;  // id 0: a new file
        bool met = false;
    };
    // By folder, then by name: names are short, and a walk meets a folder's
    // files together.
    using Names = std::unordered_map<std::string, Entry>;
    // A file the walk did not meet, and where.
    struct Unseen {
        std::string folder;
        std::string name;
        std::int64_t id;
    };

    // The folder's files; read folder by folder, when the walk first comes
    // to it (null when it cannot be read).
    Names* Folder(std::string_view folder);
    // Lets go of the folders that the walk has left for `folder`, keeping
    // what was not met in them.
    void LeaveFoldersOutside(std::string_view folder);
    void KeepUnmet(const std::string& folder, const Names& names);

    std::unordered_map<std::string, Names> folders;
    Names* lastFolder = nullptr;
    std::string lastFolderPath;

    // Reading folder by folder.
    std::unique_ptr<KnownFolders> reader;
    std::vector<std::string> open;         // the folders read that the walk is in, outermost first
    std::vector<std::int64_t> visited;     // the rows of the folders read
    std::vector<Unseen> unseen;            // unmet in folders let go, and in those the walk never came to
    Outcome failure;
};

}  // namespace host::index
