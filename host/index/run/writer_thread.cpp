// The writer's thread and its queue: files are queued by the filtering
// threads, taken by the writer in bunches, and stored in the order queued.
#include "index/run/writer_thread.h"

namespace host::index {
namespace {

// Queued files at the most: enough to ride out a commit, little memory.
constexpr size_t queueLimit = 512;
// How often an idle writer looks whether its open batch is due, or for
// files queued since.
constexpr DWORD idleLook = 250;
// Files queued before the writer is woken for them.
constexpr size_t wakeEvery = 32;

}  // namespace

WriterThread::WriterThread(BatchWriter& writer)
    : writer(writer), thread(CreateThread(nullptr, 0, Run, this, 0, nullptr))
{
}

void WriterThread::Write(std::deque<Job>& taken)
{
    for (Job& job : taken)
        if (!failed && !writer.Store(std::move(job.entry), job.knownId, job.counted))
            failed = true;
    taken.clear();
}

DWORD WINAPI WriterThread::Run(void* self)
{
    WriterThread& writer = *static_cast<WriterThread*>(self);
    std::deque<Job> taken;
    SlimLockHolder hold(writer.lock);
    for (;;) {
        while (writer.jobs.empty() && !writer.ending) {
            if (!writer.queued.WaitFor(hold, idleLook))
                hold.Unlocked([&] {
                    if (!writer.failed && !writer.writer.CommitIfDue())
                        writer.failed = true;
                });
        }
        if (writer.jobs.empty())
            return 0;
        taken.swap(writer.jobs);
        writer.taken.WakeAll();
        hold.Unlocked([&] { writer.Write(taken); });
    }
}

void WriterThread::Store(IndexEntry&& entry, std::int64_t knownId, Counted counted)
{
    if (!thread) {
        std::deque<Job> now;
        now.push_back({std::move(entry), knownId, counted});
        Write(now);
        return;
    }
    SlimLockHolder hold(lock);
    while (jobs.size() >= queueLimit)
        taken.Wait(hold);
    jobs.push_back({std::move(entry), knownId, counted});
    // The writer is woken for a handful of files at once, not for each:
    // a waiting writer that nobody wakes looks again within idleLook, and
    // Finish wakes it for the last ones.
    if (jobs.size() == wakeEvery)
        queued.WakeAll();
}

void WriterThread::Finish()
{
    if (!thread)
        return;
    {
        SlimLockHolder hold(lock);
        ending = true;
        queued.WakeAll();
    }
    thread.Join();
}

}  // namespace host::index
