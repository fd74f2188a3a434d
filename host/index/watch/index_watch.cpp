// The watcher's loop: the first run, then changes gathered until they
// settle, each batch indexed by a run over its paths, and an outage of the
// index waited out with tries further and further apart.
#include "index/watch/index_watch.h"

#include "cli/options.h"
#include "index/run/entry.h"
#include "system/platform_differences.h"
#include "index/watch/folder_watch.h"
#include "index/run/stop.h"
#include "text/text_conversion.h"
#include "text/text_escape.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <utility>

namespace host::index {
namespace {

using Clock = std::chrono::steady_clock;

// How long a path must be quiet before it is indexed: a file still open for
// writing waits longer, so that it is not filtered half-written. A finished
// file (closed after writing, moved in) waits only a moment: long enough for
// the rest of a save to come (the temporary file renamed over it, the tags
// written after the copy), and for the clock that stamps files to move on,
// so that a write after the file is read changes its stamp.
QuietPeriods quietPeriods{std::chrono::milliseconds(300), std::chrono::milliseconds(1000)};
constexpr std::chrono::milliseconds finishedQuietPeriod(30);
// After a failed write, the first attempt again, and the longest wait.
constexpr std::chrono::milliseconds firstRetryDelay(500), maximumRetryDelay(30000);
constexpr std::chrono::milliseconds longestWait(100);

struct Pending {
    Clock::time_point last;
    Writing writing = Writing::none;

    Clock::time_point Due() const
    {
        switch (writing) {
        case Writing::finished:
            return last + finishedQuietPeriod;
        case Writing::going:
            return last + quietPeriods.writing;
        default:
            return last + quietPeriods.quiet;
        }
    }
};

class Watcher {
public:
    Watcher(IndexDatabase& database, const RunPaths& paths, const RunSettings& settings, const WatchSettings& watch)
        : database(database), paths(paths), roots(paths.scope), settings(settings), watch(watch)
    {
        // An outage is said by the watcher, once while it lasts (Unwritable).
        this->settings.callerSaysIndexFailure = true;
        batchSettings = this->settings;
        batchSettings.summary = watch.verbose;
        batchSettings.summaryOfNothing = false;  // a batch of changes that touched no media file says nothing
    }

    RunResult Run()
    {
        std::string error;
        if (!folders.Start(error)) {
            std::fprintf(stderr, "trellan index: %s\n", error.c_str());
            RunResult failed;
            failed.exitCode = exitFailure;
            return failed;
        }
        for (const std::string& root : roots)
            WatchRoot(root);
        ReportLimit();
        // Watched first, then the first run: no change falls between them.
        const RunResult first = RunIndexOnce(database, paths, settings);
        if (first.stopped)
            return first;
        if (first.indexFailed)
            Unwritable(first.failure, paths.scope);
        const Outcome started = database.StartWatching();
        recorded = static_cast<bool>(started);
        if (!recorded)
            std::fprintf(stderr, "trellan index: cannot record the watcher: %s\n", started.message.c_str());
        if (watch.verbose)
            std::fprintf(stderr, "trellan index: watching %zu folders\n", folders.Watched());
        nextRescan = Clock::now() + std::chrono::seconds(watch.rescanSeconds);
        int exitCode = 0;
        while (!StopSignal()) {
            if (!folders.Wait(WaitMilliseconds(), [&](const FolderChange& change) { Changed(change); })) {
                std::fprintf(stderr, "trellan index: cannot read the folders' changes\n");
                exitCode = 1;
                break;
            }
            Rescan();
            if (StopSignal())
                break;
            if (damaged) {
                std::fprintf(stderr, "trellan index: the index %s%s; the watcher stops\n",
                             PrintablePath(database.Name()).c_str(), damagedAdvice);
                exitCode = exitIndexFailed;
                break;
            }
            if (WritableAgain())
                IndexSettled();
        }
        (void)database.StopWatching();  // a row left behind is told by its connection, or its lock, being gone
        RunResult result;
        result.exitCode = exitCode;
        result.stopped = StopSignal() != 0;
        if (result.stopped)
            result.exitCode = 128 + StopSignal();
        return result;
    }

private:
    // A root that is a file is watched through its folder.
    void WatchRoot(const std::string& root)
    {
        struct stat status;
        if (stat(root.c_str(), &status) == 0 && !S_ISDIR(status.st_mode))
            folders.WatchTree(root.substr(0, root.rfind('/')));
        else
            folders.WatchTree(root);
    }

    bool UnderRoots(const std::string& path) const
    {
        for (const std::string& root : roots)
            if (IsUnder(path, root))
                return true;
        return false;
    }

    void Changed(const FolderChange& change)
    {
        if (change.overflow) {
            std::fprintf(stderr, "trellan index: the system dropped changes (its queue of events overflowed); "
                                 "every path is rescanned now and every %lu s from now on\n",
                         watch.rescanSeconds);
            rescanAll = true;
            for (const std::string& root : roots)
                Mark(root, Writing::none);
            return;
        }
        if (!UnderRoots(change.path))
            return;
        if (change.folder) {
            // A folder made, moved or gone: its watches follow it, and its
            // files are walked (or leave the index) with it.
            folders.Unwatch(change.path);
            struct stat status;
            if (lstat(change.path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
                folders.WatchTree(change.path);
            ReportLimit();
        }
        Mark(change.path, change.writing);
    }

    void Mark(const std::string& path, Writing writing)
    {
        const auto [at, added] = dirty.try_emplace(path);
        at->second.last = Clock::now();
        if (writing != Writing::same)
            at->second.writing = writing;
        else if (added)
            at->second.writing = Writing::none;
    }

    // Until the first pending path is due, at most the longest wait.
    int WaitMilliseconds() const
    {
        auto wait = longestWait;
        if (!outage) {
            const Clock::time_point now = Clock::now();
            for (const auto& [path, pending] : dirty)
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(pending.Due() - now));
        }
        return static_cast<int>(std::max(wait.count(), std::chrono::milliseconds::rep(0)));
    }

    void ReportLimit()
    {
        if (folders.LimitMet() && !limitReported) {
            limitReported = true;
            std::fprintf(stderr, "trellan index: the system's limit of watched folders is reached "
                                 "(fs.inotify.max_user_watches); the folders beyond it are rescanned every %lu s\n",
                         watch.rescanSeconds);
        }
        for (std::string& folder : folders.TakeUnwatched())
            unwatched.push_back(std::move(folder));
    }

    void Rescan()
    {
        if (Clock::now() < nextRescan)
            return;
        nextRescan = Clock::now() + std::chrono::seconds(watch.rescanSeconds);
        if (rescanAll)
            for (const std::string& root : roots)
                Mark(root, Writing::none);
        std::vector<std::string> again;
        again.swap(unwatched);
        for (const std::string& folder : again) {
            Mark(folder, Writing::none);
            folders.WatchTree(folder);  // the limit may have room now
        }
        ReportLimit();
    }

    // Indexes the paths that have been quiet for long enough, as one run
    // over them: what is there is walked, what is gone leaves the index.
    void IndexSettled()
    {
        const Clock::time_point now = Clock::now();
        RunPaths batch;
        batch.leftOut = paths.leftOut;
        for (auto at = dirty.begin(); at != dirty.end();) {
            if (now < at->second.Due()) {
                ++at;
                continue;
            }
            // Closed by one writer while another still has it open: it waits
            // as a file being written, from its last change.
            if (at->second.writing != Writing::going && OpenForWriting(at->first)) {
                at->second.writing = Writing::going;
                continue;
            }
            // Paths in name order: one under a path already taken is walked with it.
            if (batch.scope.empty() || !IsUnder(at->first, batch.scope.back())) {
                batch.scope.push_back(at->first);
                struct stat status;
                if (lstat(at->first.c_str(), &status) == 0)
                    batch.walked.push_back(PathFromListBytes(at->first));
            }
            at = dirty.erase(at);
        }
        if (batch.scope.empty())
            return;
        const RunResult result = RunIndexOnce(database, batch, batchSettings);
        if (result.indexFailed) {
            Unwritable(result.failure, batch.scope);
            return;
        }
        if (outage) {
            // Back: what changed while the index could not be written, and
            // was not seen (the system's queue of changes may have
            // overflowed meanwhile), is found by walking every path again.
            outage = false;
            std::fprintf(stderr, "trellan index: the index can be written again; every path is walked again for "
                                 "what changed meanwhile\n");
            for (const std::string& root : roots)
                Mark(root, Writing::none);
        }
        if (watch.verbose && result.exitCode != 0 && !result.stopped)
            std::fprintf(stderr, "trellan index: the batch over %s%s did not all go in\n",
                         PrintablePath(batch.scope[0]).c_str(), batch.scope.size() > 1 ? " and more" : "");
    }

    // The index could not be written (a lost connection, a lock held too
    // long, a full disk): the batch's paths wait for the next attempt, which
    // comes later and later, up to half a minute apart.
    // An outage is said when it begins, and again only when its kind
    // changes (the server gone, then the disk full), not at each new
    // wording of the same fault.
    void Unwritable(const Outcome& failure, const std::vector<std::string>& scope)
    {
        for (const std::string& path : scope)
            Mark(path, Writing::none);
        retryDelay = outage ? std::min(retryDelay * 2, maximumRetryDelay) : firstRetryDelay;
        nextAttempt = Clock::now() + retryDelay;
        if (!outage || failure.kind != outageKind)
            std::fprintf(stderr, "trellan index: cannot write to the index: %s; the changes wait, and the watcher "
                                 "tries again\n",
                         failure.message.c_str());
        outage = true;
        outageKind = failure.kind;
        damaged = failure.kind == OutcomeKind::damaged;
    }

    // Whether to index now: after an outage, once its next attempt is due
    // and the index can be reached again.
    bool WritableAgain()
    {
        if (!outage)
            return true;
        if (Clock::now() < nextAttempt)
            return false;
        if (const Outcome reconnected = database.Reconnect(); !reconnected) {
            Unwritable(reconnected, {});
            return false;
        }
        if (!recorded)
            recorded = static_cast<bool>(database.StartWatching());
        return true;
    }

    IndexDatabase& database;
    const RunPaths paths;
    const std::vector<std::string> roots;
    RunSettings settings;
    const WatchSettings watch;
    RunSettings batchSettings;
    FolderWatch folders;
    std::map<std::string, Pending> dirty;  // in name order
    std::vector<std::string> unwatched;
    bool rescanAll = false;
    bool limitReported = false;
    Clock::time_point nextRescan;
    bool recorded = false;  // the watcher's record is in the index
    bool outage = false;    // the index cannot be written now
    OutcomeKind outageKind = OutcomeKind::done;
    bool damaged = false;  // the index was found damaged: the watcher stops
    std::chrono::milliseconds retryDelay{0};
    Clock::time_point nextAttempt;
};

}  // namespace

RunResult WatchAndIndex(IndexDatabase& database, const RunPaths& paths, const RunSettings& settings,
                        const WatchSettings& watch)
{
    return Watcher(database, paths, settings, watch).Run();
}

QuietPeriods WatchSeam_SetQuietPeriods(QuietPeriods periods)
{
    return std::exchange(quietPeriods, periods);
}

}  // namespace host::index
