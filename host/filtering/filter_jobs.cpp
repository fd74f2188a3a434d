#include "filtering/filter_jobs.h"

#include "filtering/chunk_walk.h"
#include "filtering/failure_cause.h"
#include "system/joined_thread.h"
#include "com_ptr.h"

#include <map>
#include <new>
#include <memory>
#include <vector>

namespace host {
namespace {

// The number of processors this process may run on.
unsigned ProcessorCount()
{
    SYSTEM_INFO information{};
    GetSystemInfo(&information);
    return information.dwNumberOfProcessors > 0 ? information.dwNumberOfProcessors : 1;
}

// Filters one file: lookup, object creation, Load, Init and the chunk walk.
void FilterOneFile(FilterLoader& loader, FilterFinder& finder, ULONG bufferUnits, FileRecord& record)
{
    FilterLocation location;
    record.status = finder.Find(record.path, location, record.cause);
    trellan::ComPtr<IFilter> filter;
    if (SUCCEEDED(record.status))
        record.status = loader.CreateFilter(location.modulePath, location.clsid, filter.Receive(), record.cause);
    if (SUCCEEDED(record.status))
        WalkFile(filter.Get(), record, bufferUnits);
}

// What the threads share. Every field is read and written under `lock`.
struct JobQueue {
    JobQueue(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings, const NextJob& next,
             unsigned threads)
        : loader(loader), finder(finder), settings(settings), next(next), window(threads * 4)
    {
    }

    FilterLoader& loader;
    FilterFinder& finder;
    const FilterJobSettings& settings;
    const NextJob& next;
    const size_t window;  // files handed out but not yet delivered, at most

    SlimLock lock;
    Condition changed;  // a file was delivered, or the input ended
    bool inputEnded = false;
    size_t handedOut = 0;   // sequence number of the next file handed out
    size_t delivered = 0;   // sequence number of the next file to deliver
    bool delivering = false;
    bool outOfMemory = false;  // the run ended early: memory ran out outside a file's filtering
    std::map<size_t, std::unique_ptr<FileJob>> done;  // finished, waiting for the files before them
};

// Delivers every finished file that is next in line. Only one thread
// delivers at a time; the others leave their files in `done`.
void DeliverInOrder(JobQueue& queue, SlimLockHolder& hold)
{
    if (queue.delivering)
        return;
    queue.delivering = true;
    for (auto found = queue.done.find(queue.delivered); found != queue.done.end();
         found = queue.done.find(queue.delivered)) {
        std::unique_ptr<FileJob> job = std::move(found->second);
        queue.done.erase(found);
        hold.Unlocked([&] { job->Deliver(); });
        ++queue.delivered;
        queue.changed.WakeAll();
    }
    queue.delivering = false;
}

void Work(JobQueue& queue)
{
    SlimLockHolder hold(queue.lock);
    for (;;) {
        while (!queue.inputEnded && queue.handedOut - queue.delivered >= queue.window)
            queue.changed.Wait(hold);
        if (queue.inputEnded)
            return;
        std::unique_ptr<FileJob> job = queue.next();
        if (!job) {
            queue.inputEnded = true;
            queue.changed.WakeAll();
            return;
        }
        const size_t sequence = queue.handedOut++;
        hold.Unlocked([&] {
            FileRecord& record = job->record;
            try {
                if (!record.skipped && SUCCEEDED(record.status))
                    FilterOneFile(queue.loader, queue.finder, queue.settings.bufferUnits, record);
                if (FAILED(record.status) && record.cause.empty())
                    record.cause = DescribeFailure(record.path);
                job->Finish();
            } catch (const std::bad_alloc&) {
                record.chunks.clear();
                record.status = E_OUTOFMEMORY;
                record.cause = "the host ran out of memory";
            }
        });
        queue.done.emplace(sequence, std::move(job));
        DeliverInOrder(queue, hold);
    }
}

// Runs Work. Memory that runs out outside one file's filtering (the next
// file's name, the queue, the output) ends the run on every thread, rather
// than escaping from a thread or leaving the others waiting for ever.
void WorkUntilOutOfMemory(JobQueue& queue)
{
    try {
        Work(queue);
    } catch (const std::bad_alloc&) {
        SlimLockHolder hold(queue.lock);
        queue.inputEnded = queue.outOfMemory = true;
        queue.changed.WakeAll();
    }
}

DWORD WINAPI WorkerThread(void* parameter)
{
    WorkUntilOutOfMemory(*static_cast<JobQueue*>(parameter));
    return 0;
}

}  // namespace

bool RunFilterJobs(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings,
                   const NextJob& next)
{
    const unsigned threads = settings.jobs ? settings.jobs : ProcessorCount();
    JobQueue queue(loader, finder, settings, next, threads);
    {
        // The calling thread is one of the workers; the others join it here.
        std::vector<JoinedThread> helpers;
        for (unsigned i = 1; i < threads; ++i) {
            HANDLE handle = CreateThread(nullptr, 0, WorkerThread, &queue, 0, nullptr);
            if (!handle)
                break;  // fewer threads: slower, not wrong
            helpers.emplace_back(handle);
        }
        WorkUntilOutOfMemory(queue);
    }
    return !queue.outOfMemory;
}

}  // namespace host
