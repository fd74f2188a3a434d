// Stores filtered files on a thread of its own, so that the threads that
// filter never wait for the index: the index has one writer, and its work
// (FTS5's above all) overlaps the filtering instead of taking turns with it.
#pragma once

#include "index/run/writer.h"
#include "system/joined_thread.h"
#include "system/slim_lock.h"

#include <atomic>
#include <deque>

namespace host::index {

class WriterThread {
public:
    explicit WriterThread(BatchWriter& writer);
    ~WriterThread() { Finish(); }
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    // Queues an entry; waits while the queue is full. Without a thread (it
    // could not be started), stores it at once.
    void Store(IndexEntry&& entry, std::int64_t knownId, Counted counted);
    // Waits until every queued entry is stored, and ends the thread.
    void Finish();
    // A write failed; what is queued after it is dropped.
    bool Failed() const { return failed; }

private:
    struct Job {
        IndexEntry entry;
        std::int64_t knownId;
        Counted counted;
    };
    static DWORD WINAPI Run(void* self);
    void Write(std::deque<Job>& jobs);

    BatchWriter& writer;
    std::atomic<bool> failed{false};
    SlimLock lock;
    Condition queued;  // jobs came, or the end
    Condition taken;   // the writer took the queue
    std::deque<Job> jobs;
    bool ending = false;
    JoinedThread thread;  // last: it ends before the queue it reads goes
};

}  // namespace host::index
