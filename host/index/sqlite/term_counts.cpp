// The counts of files of each token, held during a run and written in the
// table's order.
#include "index/sqlite/term_counts.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace host::index {
namespace {

using platform::sqlite::Statement;

// Changes held beyond this many tokens are written at the next commit:
// about 10 MB of them.
constexpr size_t kMostHeld = 1 << 17;

}  // namespace

bool TermCounts::Write(const TokenCounts& changes, bool& memoryShort)
{
    // As one JSON object, its tokens in the table's order: two statements
    // however many tokens changed, and each page of the table read and
    // written once.
    std::string json;
    try {
        std::vector<const TokenCounts::value_type*> sorted;
        sorted.reserve(changes.size());
        for (const auto& change : changes)
            if (change.second != 0)
                sorted.push_back(&change);
        if (sorted.empty())
            return true;
        std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
        json.reserve(sorted.size() * 16);
        json += '{';
        for (const auto* change : sorted) {
            json += json.size() > 1 ? ",\"" : "\"";
            for (const char c : change->first) {
                if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                    json += escaped;
                } else {
                    json += c;
                }
            }
            json += "\":" + std::to_string(change->second);
        }
        json += '}';
    } catch (const std::bad_alloc&) {
        memoryShort = true;
        return false;
    }
    if (!add) {
        add = std::make_unique<Statement>(connection, "INSERT INTO terms (term, files) SELECT key, value FROM "
                                                      "json_each(?1) WHERE true ON CONFLICT (term) DO UPDATE SET "
                                                      "files = files + excluded.files");
        drop = std::make_unique<Statement>(connection, "DELETE FROM terms WHERE files <= 0 AND term IN (SELECT key "
                                                       "FROM json_each(?1) WHERE value < 0)");
    }
    return add->BindKeptText(1, json).Run() && drop->BindKeptText(1, json).Run();
}

bool TermCounts::MarkCurrent(bool current)
{
    return Statement(connection, "INSERT INTO settings (name, value) VALUES ('terms', ?1) "
                                 "ON CONFLICT (name) DO UPDATE SET value = excluded.value")
        .Bind(1, current ? 1 : 0)
        .Run();
}

bool TermCounts::BeforeCommit(const TokenCounts& changes, bool& memoryShort)
{
    // Changes that are lost leave the counts behind until they are counted again.
    holding = lost || (inRun && changes.size() <= kMostHeld);
    if (holding)
        return markedBehind || MarkCurrent(false);
    return Write(changes, memoryShort) && (!markedBehind || MarkCurrent(true));
}

bool TermCounts::AfterCommit(bool committed)
{
    if (!committed) {
        // Rolled back: outside a run the changes were the batch's alone;
        // in a run they mix it with batches committed before.
        lost = lost || inRun;
        return true;
    }
    markedBehind = holding;
    return !holding || lost;
}

bool TermCounts::RunEnded(const TokenCounts& changes, bool& memoryShort)
{
    inRun = false;
    if (!markedBehind || lost)
        return true;
    platform::sqlite::WriteTransaction written(connection);
    if (written.Begun() && Write(changes, memoryShort) && MarkCurrent(true) && written.Commit()) {
        markedBehind = false;
        return true;
    }
    lost = true;
    return false;
}

bool TermCounts::CountIfBehind()
{
    Statement marked(connection, "SELECT value FROM settings WHERE name = 'terms'");
    const int read = marked.Step();
    if (read == SQLITE_DONE || (read == SQLITE_ROW && marked.Integer(0) == 1))
        return true;
    marked.Reset();
    platform::sqlite::WriteTransaction counted(connection);
    if (!counted.Begun() ||
        !connection.Execute("CREATE VIRTUAL TABLE IF NOT EXISTS temp.held_terms USING fts5vocab(main, texts, row);"
                            "DELETE FROM terms;"
                            "INSERT INTO terms (term, files) SELECT term, doc FROM temp.held_terms;") ||
        !MarkCurrent(true) || !counted.Commit())
        return false;
    markedBehind = lost = false;
    return true;
}

}  // namespace host::index
