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
    failure = batch->Begun();
    batch.reset();
    return false;
}

void BatchWriter::Drop()
{
    batch.reset();
    pending.clear();
    pendingBytes = 0;
}

Outcome BatchWriter::Apply(const Change& change)
{
    return change.remove ? database.Remove(change.knownId) : database.Store(change.entry, change.knownId);
}

bool BatchWriter::Add(Change&& change)
{
    wrote = true;
    if (outer) {
        if ((failure = Apply(change))) {
            ++committed[static_cast<int>(change.counted)];  // the caller's transaction holds it
            return true;
        }
        return false;
    }
    if (!Begin()) {
        if (failure.kind == OutcomeKind::lost)
            pending.push_back(std::move(change));  // written with the batch on a new connection
        return Recover();
    }
    failure = Apply(change);
    pendingBytes += TextBytes(change.entry);
    pending.push_back(std::move(change));
    if (!failure)
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
    if (!(failure = batch->Commit()))
        return Recover();
    CountCommitted(pending, 0, pending.size());
    batch.reset();
    pending.clear();
    pendingBytes = 0;
    return true;
}

bool BatchWriter::Recover()
{
    // `failure` says what went wrong; the rollback has nothing to say.
    std::vector<Change> changes;
    changes.swap(pending);
    Drop();
    // A lost connection took the whole batch with it, not one file of it:
    // the batch is written again whole, once, on a new connection.
    if (failure.kind == OutcomeKind::lost) {
        if (const Outcome again = database.Reconnect(); !again) {
            failure.message += "; " + again.message;
            return false;
        }
        return WriteTogether(changes, 0, changes.size());
    }
    // A damaged index refuses every part alike: the run ends there.
    if (failure.kind == OutcomeKind::damaged)
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
    failure = part.Begun();
    for (size_t i = begin; failure && i < end; ++i)
        failure = Apply(changes[i]);
    if (failure)
        failure = part.Commit();
    if (!failure)
        return false;
    CountCommitted(changes, begin, end);
    return true;
}

bool BatchWriter::WriteInParts(std::vector<Change>& changes, size_t begin, size_t end)
{
    if (WriteTogether(changes, begin, end))
        return true;
    if (failure.kind == OutcomeKind::damaged)
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
    return (failure.Passing() && WriteTogether(changes, at, at + 1)) || StoreRefused(changes[at]);
}

bool BatchWriter::StoreRefused(const Change& change)
{
    // The file keeps what the index held of it, marked as failed so that
    // the next run tries it again; if even that cannot be written, the
    // index itself is failing.
    IndexEntry refusal;
    refusal.path = change.entry.path;
    refusal.stamp = change.entry.stamp;
    const bool memory = failure.kind == OutcomeKind::memory;
    refusal.status = memory ? "E_OUTOFMEMORY" : "E_FAIL";
    refusal.failed = true;
    refusal.keep = true;
    refusal.cause = "the index could not store it: " + failure.message;
    Transaction alone(database);
    Outcome stored = alone.Begun();
    if (stored)
        stored = database.Store(refusal, change.knownId);
    if (stored)
        stored = alone.Commit();
    if (!stored) {
        failure = std::move(stored);
        return false;
    }
    refused.push_back({change.entry.path, refusal.cause, memory});
    return true;
}

}  // namespace host::index
