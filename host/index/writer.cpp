#include "index/writer.h"

namespace host::index {

bool BatchWriter::Begin()
{
    if (batch)
        return true;
    batch.emplace(database);
    changes = 0;
    begun = std::chrono::steady_clock::now();
    if (batch->Begun())
        return true;
    batch.reset();
    return false;
}

void BatchWriter::Drop()
{
    batch.reset();
}

bool BatchWriter::Counted(bool written)
{
    if (!written) {
        Drop();
        return false;
    }
    wrote = true;
    if (++changes >= batchFiles || std::chrono::steady_clock::now() - begun >= batchTime)
        return Commit();
    return true;
}

bool BatchWriter::Store(const IndexEntry& entry, std::int64_t knownId)
{
    return Begin() && Counted(database.Store(entry, knownId));
}

bool BatchWriter::Remove(std::int64_t id)
{
    return Begin() && Counted(database.Remove(id));
}

bool BatchWriter::CommitIfDue()
{
    return !batch || std::chrono::steady_clock::now() - begun < batchTime || Commit();
}

bool BatchWriter::Commit()
{
    if (!batch)
        return true;
    bool committed = batch->Commit();
    if (committed)
        batch.reset();
    else
        Drop();
    return committed;
}

}  // namespace host::index
