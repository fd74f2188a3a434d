#include "index/writer_thread.h"

namespace host::index {
namespace {

// Queued files at the most: enough to ride out a commit, little memory.
constexpr size_t queueLimit = 512;
// How often an idle writer looks whether its open batch is due.
constexpr DWORD idleLook = 250;

}  // namespace

WriterThread::WriterThread(BatchWriter& writer)
    : writer(writer), thread(CreateThread(nullptr, 0, Run, this, 0, nullptr))
{
}

void WriterThread::Write(std::deque<Job>& taken)
{
    for (Job& job : taken)
        if (!failed && !writer.Store(std::move(job.entry), job.knownId))
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

void WriterThread::Store(IndexEntry&& entry, std::int64_t knownId)
{
    if (!thread) {
        std::deque<Job> now;
        now.push_back({std::move(entry), knownId});
        Write(now);
        return;
    }
    SlimLockHolder hold(lock);
    while (jobs.size() >= queueLimit)
        taken.Wait(hold);
    jobs.push_back({std::move(entry), knownId});
    if (jobs.size() == 1)
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
