// Watches folder trees through inotify: a watch on every folder under the
// roots, kept as folders come, go and move. What happens in them comes out
// as paths (the file system's bytes) that changed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::index {

struct FolderChange {
    std::string path;
    bool folder = false;      // the path is (or was) a folder
    bool writing = false;     // written to and not yet closed: wait for it to be quiet longer
    bool overflow = false;    // the kernel dropped events: anything may have changed
};

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
};

}  // namespace host::index
