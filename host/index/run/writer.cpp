// The batch writer: changes applied as they come inside an open
// transaction, kept until its commit so that a failed batch can be written
// again (whole on a new connection after a lost one, else in halves down
// to the file the index refuses), and counted as stored once committed.
#include "index/run/writer.h"

namespace host::index {
namespace {

// A batch holds at most this much text (it is kept until its commit, to be
// written again if the commit fails); a file with more is written alone.
constexpr size_t batchBytes = 8u << 20;
constexpr size_t largeEntryBytes = 1u << 20;

size_t TextBytes(const IndexEntry& entry)
{
    return entry.title.size() + entry.author.size() + entry.comments.size() + entry.body.size();
}

}  // namespace

bool BatchWriter::Begin()
{
    if (batch || outer)
        return true;
    batch.emplace(database);
    begun = std::chrono::steady_clock::now();
    if (batch->Begun())
        return true;
    Failed();
    batch.reset();
    return false;
}

void BatchWriter::Drop()
{
    batch.reset();
    pending.clear();
    pendingBytes = 0;
}

bool BatchWriter::Apply(const Change& change)
{
    return change.remove ? database.Remove(change.knownId) : database.Store(change.entry, change.knownId);
}

bool BatchWriter::Add(Change&& change)
{
    wrote = true;
    if (outer) {
        if (Apply(change)) {
            ++committed[static_cast<int>(change.counted)];  // the caller's transaction holds it
            return true;
        }
        Failed();
        return false;
    }
    if (!Begin()) {
        if (database.LastFailure() == FailureKind::lost)
            pending.push_back(std::move(change));  // written with the batch on a new connection
        return Recover();
    }
    const bool applied = Apply(change);
    pendingBytes += TextBytes(change.entry);
    pending.push_back(std::move(change));
    if (!applied)
        return Recover();
    if (pending.size() >= batchFiles || pendingBytes >= batchBytes ||
        std::chrono::steady_clock::now() - begun >= batchTime)
        return Commit();
    return true;
}

bool BatchWriter::Store(IndexEntry entry, std::int64_t knownId, Counted counted)
{
    // A large text is written on its own: if the index cannot take it
    // (memory), no other file goes with it.
    const bool alone = !outer && TextBytes(entry) >= largeEntryBytes;
    if (alone && !Commit())
        return false;
    return Add({std::move(entry), knownId, false, counted}) && (!alone || Commit());
}

bool BatchWriter::Remove(std::int64_t id)
{
    return Add({IndexEntry{}, id, true});
}

bool BatchWriter::CommitIfDue()
{
    return !batch || std::chrono::steady_clock::now() - begun < batchTime || Commit();
}

bool BatchWriter::Commit()
{
    if (!batch)
        return true;
    if (!batch->Commit())
        return Recover();
    CountCommitted(pending, 0, pending.size());
    batch.reset();
    pending.clear();
    pendingBytes = 0;
    return true;
}

bool BatchWriter::Recover()
{
    Failed();  // before the rollback, which has nothing to say
    std::vector<Change> changes;
    changes.swap(pending);
    Drop();
    // A lost connection took the whole batch with it, not one file of it:
    // the batch is written again whole, once, on a new connection.
    if (failure == FailureKind::lost) {
        std::string again;
        if (!database.Reconnect(again)) {
            error += "; " + again;
            return false;
        }
        return WriteTogether(changes, 0, changes.size());
    }
    // A damaged index refuses every part alike: the run ends there.
    if (failure == FailureKind::damaged || database.Damaged())
        return false;
    // One change is as small as a batch gets.
    if (changes.size() <= 1 && !changes.empty() && !changes[0].remove)
        return StoreAloneOrRefused(changes, 0);
    if (changes.size() <= 1)
        return false;
    // The whole failed already: its halves, each in a transaction of its own.
    const size_t middle = changes.size() / 2;
    return WriteInParts(changes, 0, middle) && WriteInParts(changes, middle, changes.size());
}

void BatchWriter::CountCommitted(const std::vector<Change>& changes, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i)
        ++committed[static_cast<int>(changes[i].counted)];
}

bool BatchWriter::WriteTogether(const std::vector<Change>& changes, size_t begin, size_t end)
{
    Transaction part(database);
    bool written = part.Begun();
    for (size_t i = begin; written && i < end; ++i)
        written = Apply(changes[i]);
    if (written && part.Commit()) {
        CountCommitted(changes, begin, end);
        return true;
    }
    Failed();  // while the part is open: its rollback has nothing to say
    return false;
}

bool BatchWriter::WriteInParts(std::vector<Change>& changes, size_t begin, size_t end)
{
    if (WriteTogether(changes, begin, end))
        return true;
    if (failure == FailureKind::damaged)
        return false;
    if (end - begin == 1)
        return !changes[begin].remove && StoreAloneOrRefused(changes, begin);
    const size_t middle = begin + (end - begin) / 2;
    return WriteInParts(changes, begin, middle) && WriteInParts(changes, middle, end);
}

bool BatchWriter::StoreAloneOrRefused(const std::vector<Change>& changes, size_t at)
{
    // A refusal that may pass (a lock held a moment too long, memory short
    // for a moment) is tried once more before the file counts as refused.
    const bool passing = failure == FailureKind::locked || failure == FailureKind::memory;
    return (passing && WriteTogether(changes, at, at + 1)) || StoreRefused(changes[at]);
}

bool BatchWriter::StoreRefused(const Change& change)
{
    // The file keeps what the index held of it, marked as failed so that
    // the next run tries it again; if even that cannot be written, the
    // index itself is failing.
    IndexEntry refusal;
    refusal.path = change.entry.path;
    refusal.stamp = change.entry.stamp;
    const bool memory = failure == FailureKind::memory;
    refusal.status = memory ? "E_OUTOFMEMORY" : "E_FAIL";
    refusal.failed = true;
    refusal.keep = true;
    refusal.cause = "the index could not store it: " + error;
    Transaction alone(database);
    if (!alone.Begun() || !database.Store(refusal, change.knownId) || !alone.Commit()) {
        Failed();
        return false;
    }
    refused.push_back({change.entry.path, refusal.cause, memory});
    return true;
}

void BatchWriter::Failed()
{
    error = database.LastError();
    failure = database.LastFailure();
}

}  // namespace host::index
