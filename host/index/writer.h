// Writes to the index in batches, one transaction each, so that a run cut
// short keeps every batch it committed: a batch is committed when it holds
// `batchFiles` changes or has been open for `batchTime`, and at Commit.
#pragma once

#include "index/database.h"

#include <chrono>
#include <optional>

namespace host::index {

class BatchWriter {
public:
    BatchWriter(IndexDatabase& database, size_t batchFiles, std::chrono::milliseconds batchTime)
        : database(database), batchFiles(batchFiles), batchTime(batchTime)
    {
    }
    ~BatchWriter() { Drop(); }
    BatchWriter(const BatchWriter&) = delete;
    BatchWriter& operator=(const BatchWriter&) = delete;

    // False when the write, or the commit of a full batch, failed; the
    // batch is then rolled back and the database's error says why.
    bool Store(const IndexEntry& entry, std::int64_t knownId);
    bool Remove(std::int64_t id);
    // Commits the open batch, if any.
    bool Commit();
    // Commits the open batch if it has been open for `batchTime`: called
    // while no file comes, so that a slow file does not hold a batch open.
    bool CommitIfDue();
    // Whether anything was stored or removed.
    bool Wrote() const { return wrote; }

private:
    bool Begin();
    bool Counted(bool written);
    // Rolls the open batch back.
    void Drop();

    IndexDatabase& database;
    const size_t batchFiles;
    const std::chrono::milliseconds batchTime;
    std::optional<Transaction> batch;  // rolled back when the writer goes uncommitted
    size_t changes = 0;
    bool wrote = false;
    std::chrono::steady_clock::time_point begun;
};

}  // namespace host::index
