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
    size_t filtering = 0;      // files being filtered now
    size_t started = 0;        // files whose filtering has begun, in all
    size_t waitingAlone = 0;   // files waiting to be filtered again on their own
    bool alone = false;        // a file is being filtered on its own
};

void RanOutOfMemory(FileRecord& record)
{
    record.chunks.clear();
    record.status = E_OUTOFMEMORY;
    record.cause = "the host ran out of memory";
}

// Filters one file and gives a failure the host's cause. True when it failed
// for memory.
bool FilterAndDescribe(JobQueue& queue, FileRecord& record)
{
    try {
        if (!record.skipped && SUCCEEDED(record.status))
            FilterOneFile(queue.loader, queue.finder, queue.settings.bufferUnits, record);
        bool memory = record.status == E_OUTOFMEMORY;
        if (FAILED(record.status) && record.cause.empty()) {
            FailureCause cause = DescribeFailure(record.path);
            record.cause = std::move(cause.words);
            memory = memory || cause.memory;
        }
        return memory;
    } catch (const std::bad_alloc&) {
        RanOutOfMemory(record);
        return true;
    }
}

void Finish(FileJob& job)
{
    try {
        job.Finish();
    } catch (const std::bad_alloc&) {
        RanOutOfMemory(job.record);
    }
}

// A file that failed for memory while other files were filtered may have
// failed for their sake: it is filtered again alone, once the others are
// done and before any more begin, so that every number of jobs gives the
// records that one job gives.
void FilterAgainAlone(JobQueue& queue, SlimLockHolder& hold, FileRecord& record)
{
    ++queue.waitingAlone;
    while (queue.filtering > 0 || queue.alone)
        queue.changed.Wait(hold);
    queue.alone = true;
    ++queue.filtering;
    FileRecord again;
    again.path = std::move(record.path);
    record = std::move(again);
    hold.Unlocked([&] {
        // What the other files left free in the heap goes back first, as
        // it would not have been taken with one job.
        HeapCompact(GetProcessHeap(), 0);
        FilterAndDescribe(queue, record);
    });
    --queue.filtering;
    queue.alone = false;
    --queue.waitingAlone;
    queue.changed.WakeAll();
}

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
        while (!queue.inputEnded && (queue.handedOut - queue.delivered >= queue.window || queue.waitingAlone > 0))
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
        const size_t startedBefore = queue.started++;
        const bool othersAtStart = queue.filtering++ > 0;
        bool memory = false;
        hold.Unlocked([&] {
            memory = FilterAndDescribe(queue, job->record);
            if (!memory)
                Finish(*job);
        });
        --queue.filtering;
        if (queue.waitingAlone > 0)
            queue.changed.WakeAll();
        if (memory) {
            if (othersAtStart || queue.started != startedBefore + 1)
                FilterAgainAlone(queue, hold, job->record);
            hold.Unlocked([&] { Finish(*job); });
        }
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
