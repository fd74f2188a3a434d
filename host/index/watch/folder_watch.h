// Watches folder trees through inotify: a watch on every folder under the
// roots, kept as folders come, go and move. What happens in them comes out
// as paths (the file system's bytes) that changed.
#pragma once

#include <signal.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::index {

// What a change says of the path's writing, which sets how long it must be
// quiet before it is indexed.
enum class Writing {
    none,      // made, or a folder changed: wait for it to be quiet
    going,     // written to and maybe still open: wait longer
    finished,  // closed after writing, moved in or away, deleted: index it now
    same,      // its attributes changed: as it was before
};

struct FolderChange {
    std::string path;
    bool folder = false;    // the path is (or was) a folder
    Writing writing = Writing::none;
    bool overflow = false;  // the kernel dropped events: anything may have changed
};

// Whether a process has the regular file at `path` open for writing, which
// the close of one writer does not tell: false too when it cannot be told
// (a file of another owner, a file system without leases).
bool OpenForWriting(const std::string& path);

class FolderWatch {
public:
    FolderWatch() = default;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    ~FolderWatch();

    // False, with `error`, when inotify cannot be had at all.
    bool Start(std::string& error);
    // Watches `path` and every folder below it; the folders that cannot be
    // watched (the system's limit of watches) are added to Unwatched().
    void WatchTree(const std::string& path);
    // Stops watching `path` and every folder below it.
    void Unwatch(const std::string& path);
    // Waits up to `milliseconds` for events and hands each change on; false
    // when reading failed. A signal ends the wait early.
    bool Wait(int milliseconds, const std::function<void(const FolderChange&)>& changed);

    size_t Watched() const { return paths.size(); }
    // Folders not watched since the limit was reached; cleared by taking them.
    std::vector<std::string> TakeUnwatched();
    // Whether the limit of watches was met (said once).
    bool LimitMet() const { return limitMet; }

private:
    void WatchFolder(const std::string& path);

    int descriptor = -1;
    std::unordered_map<int, std::string> paths;  // by watch descriptor
    std::map<std::string, int> watches;          // by path, in order: a folder's tree is one range
    std::vector<std::string> unwatched;
    bool limitMet = false;
    struct sigaction leaseBreak {};  // SIGIO as it was before the watch
};

}  // namespace host::index
