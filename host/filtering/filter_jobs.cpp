// The runner: threads (the caller among them) take jobs from one queue and
// deliver them in order, one thread at a time, with at most four batches a
// thread handed out and not yet delivered. With workers, two threads serve
// each with batches of 32 files, so that it has its next batch while the
// host takes its last answer. In process, a file that fails for memory
// beside others is filtered again alone, as one job would have filtered it.
#include "filtering/filter_jobs.h"

#include "filtering/chunk_walk.h"
#include "filtering/failure_cause.h"
#include "system/joined_thread.h"
#include "com_ptr.h"

#include <map>
#include <new>
#include <set>
#include <memory>
#include <vector>

namespace host {
namespace {

// Filtering in workers: two threads a worker, each with a batch of files,
// so that a worker has its next batch while the host takes the answer to
// the last; a batch is one message each way.
constexpr unsigned threadsAWorker = 2;
constexpr size_t isolatedBatchFiles = 32;

// The number of processors this process may run on.
unsigned ProcessorCount()
{
    SYSTEM_INFO information{};
    GetSystemInfo(&information);
    return information.dwNumberOfProcessors > 0 ? information.dwNumberOfProcessors : 1;
}

// No filter, or none that can be had: that is not the file's fault, unless
// the path itself is the problem (it is not there; a file open as a stream
// is there), and then the path's problem is the cause.
void NoFilterToBeHad(FileRecord& record)
{
    FailureCause cause;
    record.outside = record.stream || !DescribePathProblem(record.path, cause) || cause.outside;
    record.noFilter = record.outside;
    if (!record.outside)
        record.cause = std::move(cause.words);
}

// The filter for the record's file; false, with the record's failure set,
// when there is none.
bool FindFilter(FilterFinder& finder, FileRecord& record, FilterLocation& location)
{
    record.status = finder.Find(record.path, location, record.cause);
    if (SUCCEEDED(record.status))
        return true;
    NoFilterToBeHad(record);
    return false;
}

// A job handed out, and whether the runner filters it (a job that came
// skipped or failed is handed on as it came).
struct HandedJob {
    std::unique_ptr<FileJob> job;
    bool filters = false;
};

// What the threads share. Every field is read and written under `lock`.
struct JobQueue {
    JobQueue(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings, const NextJob& next,
             unsigned threads, size_t batchFiles)
        : loader(loader), finder(finder), settings(settings), next(next), threads(threads), batchFiles(batchFiles),
          window(threads * batchFiles * 4)
    {
    }

    FilterLoader& loader;
    FilterFinder& finder;
    const FilterJobSettings& settings;
    const NextJob& next;
    const unsigned threads;
    const size_t batchFiles;  // the new files a thread takes at once
    const size_t window;  // files handed out but not yet delivered, at most

    SlimLock lock;
    Condition changed;  // a file was delivered, or the input ended
    bool inputEnded = false;
    size_t handedOut = 0;   // sequence number of the next file handed out
    size_t delivered = 0;   // sequence number of the next file to deliver
    bool delivering = false;
    bool outOfMemory = false;  // the run ended early: memory ran out outside a file's filtering
    std::map<size_t, HandedJob> done;   // finished, waiting for the files before them
    std::map<size_t, HandedJob> again;  // to be filtered again, before any new file
    size_t filtering = 0;      // files being filtered now
    std::set<size_t> waitingAlone;  // files waiting to be filtered again on their own
};

void RanOutOfMemory(FileRecord& record)
{
    record.chunks.clear();
    record.status = E_OUTOFMEMORY;
    record.cause = "the host ran out of memory";
    record.outside = true;
}

// Gives a failure without a cause the host's (through the file's stream
// when the record still holds it).
void ExplainFailure(FileRecord& record)
{
    if (SUCCEEDED(record.status) || !record.cause.empty())
        return;
    FailureCause cause = DescribeFailure(record.path, record.byStream, record.stream.Get());
    record.cause = std::move(cause.words);
    record.memoryShort = cause.memory;
    record.outside = cause.outside;
}

// Gives a failure without a cause the host's, and says whether the file
// failed for memory.
bool Describe(FileRecord& record)
{
    ExplainFailure(record);
    const bool memory = record.status == E_OUTOFMEMORY || record.memoryShort ||
                        record.status == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA);
    record.outside = record.outside || memory;
    return memory;
}

// Filters the records' files (the lookup here, the rest here or, as one
// batch, in a worker) and gives each failure the host's cause. Sets
// `memory[i]` when the i-th failed for memory.
void FilterAndDescribe(JobQueue& queue, FileRecord* const* records, size_t count, std::vector<bool>& memory)
{
    try {
        std::vector<IsolatedFile> isolated;
        for (size_t i = 0; i < count; ++i) {
            FileRecord& record = *records[i];
            FilterLocation location;
            if (record.skipped || FAILED(record.status) || !FindFilter(queue.finder, record, location))
                continue;
            if (queue.settings.isolation)
                isolated.push_back(IsolatedFile{std::move(location), &record});
            else
                FilterFoundFile(queue.loader, location, queue.settings, record);
        }
        if (!isolated.empty())
            queue.settings.isolation->Filter(isolated.data(), isolated.size(), queue.settings);
        for (size_t i = 0; i < count; ++i)
            memory[i] = Describe(*records[i]);
    } catch (const std::bad_alloc&) {
        for (size_t i = 0; i < count; ++i) {
            RanOutOfMemory(*records[i]);
            memory[i] = true;
        }
    }
}

bool FilterAndDescribe(JobQueue& queue, FileRecord& record)
{
    FileRecord* const records[] = {&record};
    std::vector<bool> memory(1);
    FilterAndDescribe(queue, records, 1, memory);
    return memory[0];
}

// Finishes a job and gives up its chunks: what the command needs of them
// is in what Finish made.
void Finish(FileJob& job)
{
    try {
        job.Finish();
        std::vector<ChunkRecord>().swap(job.record.chunks);
        job.record.stream.Reset();
    } catch (const std::bad_alloc&) {
        RanOutOfMemory(job.record);
    }
}

// The files after `sequence` that were filtered and wait to be delivered
// give their memory back: with one job they would not have begun yet. They
// are filtered again, in their turn, before any new file.
void SendBackLaterFiles(JobQueue& queue, size_t sequence)
{
    for (auto later = queue.done.upper_bound(sequence); later != queue.done.end();) {
        auto current = later++;
        if (!current->second.filters)
            continue;
        current->second.job->Discard();
        StartAgain(current->second.job->record);
        queue.again.insert(queue.done.extract(current));  // moves the node: no allocation
    }
}

// A file that failed for memory while other files were in flight may have
// failed for their sake: it is filtered again alone, once the files before
// it are delivered and none other is filtered or held, before any more
// begin, so that every number of jobs gives the records that one job gives.
void FilterAgainAlone(JobQueue& queue, SlimLockHolder& hold, size_t sequence, FileRecord& record)
{
    queue.waitingAlone.insert(sequence);
    while (!queue.outOfMemory && (queue.filtering > 0 || queue.delivered != sequence))
        queue.changed.Wait(hold);
    if (queue.outOfMemory) {  // the run is ending: the failure stands
        queue.waitingAlone.erase(sequence);
        return;
    }
    ++queue.filtering;  // counted among those filtered, so that no other begins
    SendBackLaterFiles(queue, sequence);
    StartAgain(record);
    hold.Unlocked([&] {
        // What the other files left free in the heap goes back first, as
        // it would not have been taken with one job.
        HeapCompact(GetProcessHeap(), 0);
        FilterAndDescribe(queue, record);
    });
    --queue.filtering;
    queue.waitingAlone.erase(sequence);
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
        std::unique_ptr<FileJob> job = std::move(found->second.job);
        queue.done.erase(found);
        hold.Unlocked([&] { job->Deliver(); });
        ++queue.delivered;
        queue.changed.WakeAll();
    }
    queue.delivering = false;
}

// True when a file sent back may be filtered again now: while files wait
// to be filtered alone, only those before all of them, which the waiting
// files wait for.
bool MayTakeAgain(const JobQueue& queue)
{
    return !queue.again.empty() &&
           (queue.waitingAlone.empty() || queue.again.begin()->first < *queue.waitingAlone.begin());
}

// True when a new file may be handed out now.
bool MayTakeNew(const JobQueue& queue)
{
    return queue.waitingAlone.empty() && !queue.inputEnded && queue.handedOut - queue.delivered < queue.window;
}

// True when this thread has no more to do: nothing is left to hand out,
// and no file waits alone (which may yet send files back).
bool RunIsOver(const JobQueue& queue)
{
    return queue.outOfMemory || (queue.inputEnded && queue.again.empty() && queue.waitingAlone.empty());
}

// A job taken up by a thread, with its place in the order of jobs.
struct TakenJob {
    size_t sequence = 0;
    HandedJob handed;
};

// Takes the next jobs to filter again, or the next few new ones (up to
// `most` either way), into `taken`; false when there are none now.
bool TakeJobs(JobQueue& queue, size_t most, std::vector<TakenJob>& taken)
{
    while (taken.size() < most && MayTakeAgain(queue)) {
        auto first = queue.again.begin();
        taken.push_back(TakenJob{first->first, std::move(first->second)});
        queue.again.erase(first);
    }
    if (!taken.empty())
        return true;
    while (taken.size() < most && MayTakeNew(queue)) {
        HandedJob handed;
        handed.job = queue.next();
        if (!handed.job) {
            queue.inputEnded = true;
            queue.changed.WakeAll();
            break;
        }
        handed.filters = !handed.job->record.skipped && SUCCEEDED(handed.job->record.status);
        taken.push_back(TakenJob{queue.handedOut++, std::move(handed)});
    }
    return !taken.empty();
}

void Work(JobQueue& queue)
{
    SlimLockHolder hold(queue.lock);
    std::vector<TakenJob> taken;
    std::vector<FileRecord*> records;
    std::vector<bool> memory;
    for (;;) {
        while (!RunIsOver(queue) && !MayTakeAgain(queue) && !MayTakeNew(queue))
            queue.changed.Wait(hold);
        if (RunIsOver(queue))
            return;
        taken.clear();
        if (!TakeJobs(queue, queue.batchFiles, taken))
            continue;
        records.clear();
        for (TakenJob& one : taken)
            records.push_back(&one.handed.job->record);
        memory.assign(taken.size(), false);
        queue.filtering += taken.size();
        hold.Unlocked([&] {
            FilterAndDescribe(queue, records.data(), records.size(), memory);
            for (size_t i = 0; i < taken.size(); ++i)
                if (!memory[i] && !records[i]->sentBack)
                    Finish(*taken[i].handed.job);
        });
        queue.filtering -= taken.size();
        if (!queue.waitingAlone.empty())
            queue.changed.WakeAll();
        for (size_t i = 0; i < taken.size(); ++i) {
            if (records[i]->sentBack) {  // filtered again in its turn, before any new file
                StartAgain(*records[i]);
                queue.again.emplace(taken[i].sequence, std::move(taken[i].handed));
                queue.changed.WakeAll();
                continue;
            }
            if (memory[i]) {
                // With one job nothing else was in flight: the failure
                // stands. A worker has tried it alone already.
                if (queue.threads > 1 && !queue.settings.isolation)
                    FilterAgainAlone(queue, hold, taken[i].sequence, taken[i].handed.job->record);
                hold.Unlocked([&] { Finish(*taken[i].handed.job); });
            }
            queue.done.emplace(taken[i].sequence, std::move(taken[i].handed));
        }
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

void FilterFoundFile(FilterLoader& loader, const FilterLocation& location, const FilterJobSettings& settings,
                     FileRecord& record)
{
    trellan::ComPtr<IFilter> filter;
    record.status = loader.CreateFilter(location.modulePath, location.clsid, filter.Receive(), record.cause);
    if (FAILED(record.status)) {
        NoFilterToBeHad(record);
        return;
    }
    WalkFile(filter.Get(), record, settings.bufferUnits, settings.binding);
    // The properties through a second open of the runtime's editor or
    // reader (over the filter's stream): the filter's chunks carry only its
    // four texts.
    if (settings.readProperties && SUCCEEDED(record.status))
        record.propertiesRead = ReadMediaProperties(record.path, record.stream.Get(), record.properties);
    ExplainFailure(record);
}

namespace {

// How many files the settings filter at once: their jobs, or one for each
// processor.
unsigned FilesAtOnce(const FilterJobSettings& settings)
{
    return settings.jobs ? settings.jobs : ProcessorCount();
}

}  // namespace

bool RunFilterJobs(FilterLoader& loader, FilterFinder& finder, const FilterJobSettings& settings,
                   const NextJob& next)
{
    FilterJobSettings resolved = settings;
    resolved.jobs = FilesAtOnce(settings);
    const unsigned threads = settings.isolation ? resolved.jobs * threadsAWorker : resolved.jobs;
    if (settings.isolation)
        settings.isolation->Prepare();
    JobQueue queue(loader, finder, resolved, next, threads, settings.isolation ? isolatedBatchFiles : 1);
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
