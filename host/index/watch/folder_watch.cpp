// The inotify watches: one for every folder under the roots, added as
// folders come and moved with them, and the events read as changed paths.
#include "index/watch/folder_watch.h"

#include "index/store/database.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace host::index {
namespace {

// What a watched folder reports: files written, closed after writing, made,
// moved in or out, removed or touched, and the folder itself removed or moved.
constexpr std::uint32_t watchedEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                        IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                        IN_DONT_FOLLOW;

// What an event says of the writing of its path.
Writing WritingOf(std::uint32_t mask)
{
    if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF))
        return Writing::finished;
    if (mask & IN_MODIFY)
        return Writing::going;
    return mask & IN_ATTRIB ? Writing::same : Writing::none;
}

}  // namespace

bool OpenForWriting(const std::string& path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    // The kernel grants a read lease only while no one has the file open for
    // writing; closing the descriptor gives the lease back at once.
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (file < 0)
        return false;
    const bool writers = fcntl(file, F_SETLEASE, F_RDLCK) != 0 && errno == EAGAIN;
    close(file);
    return writers;
}

FolderWatch::~FolderWatch()
{
    if (descriptor >= 0) {
        close(descriptor);
        sigaction(SIGIO, &leaseBreak, nullptr);
    }
}

bool FolderWatch::Start(std::string& error)
{
    descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0) {
        error = std::string("cannot watch folders (inotify): ") + std::strerror(errno);
        return false;
    }
    // A file opened for writing while OpenForWriting holds its lease makes
    // the kernel signal SIGIO, whose default would end the process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGIO, &ignore, &leaseBreak);
    return true;
}

void FolderWatch::WatchFolder(const std::string& path)
{
    const int watch = inotify_add_watch(descriptor, path.c_str(), watchedEvents);
    if (watch < 0) {
        if (errno == ENOSPC) {
            limitMet = true;
            unwatched.push_back(path);
        }
        return;  // not a folder (any more), or not readable: nothing to watch
    }
    if (auto old = paths.find(watch); old != paths.end() && old->second != path)
        watches.erase(old->second);
    paths[watch] = path;
    watches[path] = watch;
}

void FolderWatch::WatchTree(const std::string& root)
{
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        const std::string path = std::move(pending.back());
        pending.pop_back();
        WatchFolder(path);
        DIR* folder = opendir(path.c_str());
        if (!folder)
            continue;
        while (const dirent* entry = readdir(folder)) {
            if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, ".."))
                continue;
            const std::string child = path + "/" + entry->d_name;
            struct stat status;
            // Links to folders are not followed, as the walk does not follow them.
            if (entry->d_type == DT_DIR ||
                (entry->d_type == DT_UNKNOWN && lstat(child.c_str(), &status) == 0 && S_ISDIR(status.st_mode)))
                pending.push_back(child);
        }
        closedir(folder);
    }
}

void FolderWatch::Unwatch(const std::string& root)
{
    for (auto at = watches.lower_bound(root); at != watches.end() && IsUnder(at->first, root);) {
        inotify_rm_watch(descriptor, at->second);
        paths.erase(at->second);
        at = watches.erase(at);
    }
}

std::vector<std::string> FolderWatch::TakeUnwatched()
{
    return std::move(unwatched);
}

bool FolderWatch::Wait(int milliseconds, const std::function<void(const FolderChange&)>& changed)
{
    pollfd ready{descriptor, POLLIN, 0};
    const int polled = poll(&ready, 1, milliseconds);
    if (polled <= 0)
        return polled == 0 || errno == EINTR;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0)
            return errno == EAGAIN || errno == EINTR;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                changed({std::string(), false, Writing::none, true});
                continue;
            }
            auto folder = paths.find(event->wd);
            if (folder == paths.end())
                continue;
            if (event->mask & IN_IGNORED) {
                watches.erase(folder->second);
                paths.erase(folder);
                continue;
            }
            FolderChange change;
            change.folder = event->mask & IN_ISDIR;
            change.writing = WritingOf(event->mask);
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) || event->len == 0) {
                change.path = folder->second;  // the folder itself: its parent's watch, or a root's
                change.folder = true;
            } else {
                change.path = folder->second + "/" + event->name;
            }
            changed(change);
        }
    }
}

}  // namespace host::index
