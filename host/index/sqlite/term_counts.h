// The terms table: each token's count of files, kept up with the writes.
//
// A run's batches change the counts of thousands of tokens each, most of
// them rare, all over the table: written with each batch, every page of it
// was written again at every commit. So during a run the changes are held
// here, across batches, and written when they grow many and when the run
// ends; meanwhile the settings say the counts are behind ('terms' 0, in
// the same transaction as the first batch held), and a search walks its
// matches instead of reading its count. A run that ended without writing
// them (killed, or failing) leaves them behind: the next run, or watch,
// counts every token again from the full-text table before it writes.
// Outside a run each commit writes its own changes.
#pragma once

#include "index/sqlite/stem_tally.h"
#include "sqlite_statement.h"

#include <memory>

namespace host::index {

class TermCounts {
public:
    explicit TermCounts(platform::sqlite::Connection& connection) : connection(connection) {}

    // A run begins: from now on the changes may be held across batches.
    void RunStarted() { inRun = true; }
    // Inside a batch's transaction, before its commit: `changes` (the
    // tally's, of the batch and of those held before it) written, or the
    // counts marked behind while they are held. False on a failure, with
    // `memoryShort` set where memory ran short.
    bool BeforeCommit(const TokenCounts& changes, bool& memoryShort);
    // After the commit, or its failure or rollback: true when the changes
    // are to be let go (written, or no longer sure), false while they are
    // held.
    bool AfterCommit(bool committed);
    // The run's end: what is held written, in a transaction of its own
    // (the caller lets the changes go).
    bool RunEnded(const TokenCounts& changes, bool& memoryShort);
    // Every token counted again from the texts where a run left the
    // counts behind; true when they are current.
    bool CountIfBehind();
    // Lets go of its statements, before the connection closes.
    void Finalize() { add.reset(), drop.reset(); }
    // `changes` into the table, in its order (each page read and written
    // once, however many of them it holds).
    bool Write(const TokenCounts& changes, bool& memoryShort);

private:
    bool MarkCurrent(bool current);

    platform::sqlite::Connection& connection;
    bool inRun = false;
    bool holding = false;       // the changes of the batch being committed are held, not written
    bool markedBehind = false;  // the settings say the counts are behind
    bool lost = false;          // held changes were rolled back or not written: only a count makes them current
    std::unique_ptr<platform::sqlite::Statement> add, drop;
};

}  // namespace host::index
