// Writes to the index in batches, one transaction each, so that a run cut
// short keeps every batch it committed: a batch is committed when it holds
// `batchFiles` changes, some megabytes of text, or has been open for
// `batchTime`, and at Commit. A batch that the index refuses (memory, a
// full disk, a lock held too long) is written again in halves, down to one
// file, so that one file never takes others with it; a file the index
// refuses alone is stored as a failure of its own, keeping its last good
// texts, to be tried again at the next run. A file with a large text is
// written alone for the same reason.
#pragma once

#include "index/store/database.h"

#include <chrono>
#include <optional>
#include <vector>

namespace host::index {

// What a stored file counts as in the run's summary, once its batch is
// committed: a batch lost to a full disk is not counted as stored.
enum class Counted { nothing, added, changed };

// A file that the index would not take, and why.
struct RefusedFile {
    std::string path, cause;
    bool memory = false;  // for want of memory: another run, with more free, may store it
};

class BatchWriter {
public:
    // `outer`: every write goes into a transaction the caller holds (a
    // rebuild in place); nothing is committed or written again here.
    BatchWriter(IndexDatabase& database, size_t batchFiles, std::chrono::milliseconds batchTime, bool outer = false)
        : database(database), batchFiles(batchFiles), batchTime(batchTime), outer(outer)
    {
    }
    ~BatchWriter() { Drop(); }
    BatchWriter(const BatchWriter&) = delete;
    BatchWriter& operator=(const BatchWriter&) = delete;

    // False when the index cannot be written at all (Failure says why); a
    // file the index refuses alone is not such a failure (Refused).
    bool Store(IndexEntry entry, std::int64_t knownId, Counted counted = Counted::nothing);
    bool Remove(std::int64_t id);
    // Commits the open batch, if any.
    bool Commit();
    // Commits the open batch if it has been open for `batchTime`: called
    // while no file comes, so that a slow file does not hold a batch open.
    bool CommitIfDue();
    // Whether anything was stored or removed.
    bool Wrote() const { return wrote; }
    // Why the index could not be written, as the database said it when it
    // failed (a rollback after it says nothing useful); done while it could.
    const Outcome& Failure() const { return failure; }
    const std::vector<RefusedFile>& Refused() const { return refused; }
    // How many files of each kind were committed, their texts with them.
    std::int64_t Committed(Counted kind) const { return committed[static_cast<int>(kind)]; }

private:
    struct Change {
        IndexEntry entry;
        std::int64_t knownId = 0;
        bool remove = false;
        Counted counted = Counted::nothing;
    };
    // Counts the changes from `begin` to `end`, now committed.
    void CountCommitted(const std::vector<Change>& changes, size_t begin, size_t end);
    bool Begin();
    Outcome Apply(const Change& change);
    bool Add(Change&& change);
    // After a failed write or commit: the batch rolled back and written
    // again in parts.
    bool Recover();
    // Writes `changes` in one transaction, else in halves; a single file the
    // index refuses is stored as refused. False when the index cannot be
    // written at all.
    bool WriteInParts(std::vector<Change>& changes, size_t begin, size_t end);
    bool WriteTogether(const std::vector<Change>& changes, size_t begin, size_t end);
    bool StoreRefused(const Change& change);
    bool StoreAloneOrRefused(const std::vector<Change>& changes, size_t at);
    void Drop();

    IndexDatabase& database;
    const size_t batchFiles;
    const std::chrono::milliseconds batchTime;
    const bool outer;
    std::optional<Transaction> batch;  // rolled back when the writer goes uncommitted
    std::vector<Change> pending;       // the open batch's changes, to write again if it fails
    size_t pendingBytes = 0;
    bool wrote = false;
    std::int64_t committed[3] = {};  // by Counted
    std::chrono::steady_clock::time_point begun;
    Outcome failure;  // the last write's, kept past the rollback
    std::vector<RefusedFile> refused;
};

}  // namespace host::index
