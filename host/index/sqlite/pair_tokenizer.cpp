// The pair tokenizer over its parent. A parent token without those scripts
// goes on untouched (Latin text tokenizes, stems and ranks as without the
// wrapper). A token with them is cut at the edges of its runs. The parent
// may have folded the token's other letters (case, accents), but it leaves
// Han, Kana and Hangul as they are, so the k-th run of the token is the
// k-th run of the text it came from: the offsets of each piece are found
// there. Should the two ever differ, every piece gets the whole token's
// offsets, which still finds the right rows.
//
// Before all that, the letters that accent removal keeps (ð, ø, þ, æ, œ,
// ł, ß and their kind) are folded to the letters typed for them, in a copy
// of the text that the parent splits; each token's offsets are taken back
// to the text given, so that snippets mark the words as written.
#include "index/sqlite/pair_tokenizer.h"

#include "text/cjk_pairs.h"
#include "text/letter_folding.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace host::index {
namespace {

const char* const tokenizerName = "trellan_pairs";

struct PairTokenizer {
    fts5_tokenizer parent{};
    Fts5Tokenizer* parentInstance = nullptr;
};

using TokenCallback = int (*)(void*, int, const char*, int, int, int);

// One call of xTokenize: the caller's callback and the text being split.
struct Splitting {
    void* context;
    TokenCallback emit;
    std::string_view text;
    bool document;  // a text stored, not a query: each character goes in beside its pairs
};

// Passes the pieces of one parent token to the caller's callback.
class TokenSplitter {
public:
    TokenSplitter(const Splitting& splitting, int flags, std::string_view token, int start, int end)
        : splitting(splitting), flags(flags), token(token), start(start), end(end)
    {
        if (start >= 0 && end >= start && static_cast<std::size_t>(end) <= splitting.text.size()) {
            original = splitting.text.substr(start, end - start);
        }
    }

    int Run(CjkRun run)
    {
        std::size_t tokenAt = 0, originalAt = 0;
        do {
            CjkRun originalRun;
            aligned = aligned && FindCjkRun(original, originalAt, &originalRun) &&
                      token.substr(run.start, run.end - run.start) ==
                          original.substr(originalRun.start, originalRun.end - originalRun.start);
            int rc = Emit(tokenAt, run.start, originalAt, originalRun.start);
            ForEachCjkPiece(token, run, [&](std::size_t pieceStart, std::size_t pieceEnd) {
                const std::size_t shift = originalRun.start - run.start;
                if (rc == SQLITE_OK) rc = Emit(pieceStart, pieceEnd, pieceStart + shift, pieceEnd + shift);
                // A stored pair's first character stands at its place too,
                // and the last pair's second one: a word of one character
                // ("夜") is found, and a prefix ("夜*") at a run's end.
                const std::size_t second = pieceStart + CjkCharacterLength(token, pieceStart);
                if (rc != SQLITE_OK || !splitting.document || second >= pieceEnd) return;
                rc = EmitBeside(pieceStart, second, shift);
                if (rc == SQLITE_OK && pieceEnd == run.end) rc = EmitBeside(second, pieceEnd, shift);
            });
            if (rc != SQLITE_OK) return rc;
            tokenAt = run.end;
            originalAt = originalRun.end;
        } while (FindCjkRun(token, tokenAt, &run));
        return Emit(tokenAt, token.size(), originalAt, original.size());
    }

private:
    // Reports token[from, to) at the place of the token before it.
    int EmitBeside(std::size_t from, std::size_t to, std::size_t shift)
    {
        const int pieceStart = aligned ? start + static_cast<int>(from + shift) : start;
        const int pieceEnd = aligned ? start + static_cast<int>(to + shift) : end;
        return splitting.emit(splitting.context, FTS5_TOKEN_COLOCATED, token.data() + from,
                              static_cast<int>(to - from), pieceStart, pieceEnd);
    }
    // Reports token[from, to) with the offsets of original[originalFrom,
    // originalTo); nothing when it is empty.
    int Emit(std::size_t from, std::size_t to, std::size_t originalFrom, std::size_t originalTo)
    {
        if (from >= to) return SQLITE_OK;
        const int pieceStart = aligned ? start + static_cast<int>(originalFrom) : start;
        const int pieceEnd = aligned ? start + static_cast<int>(originalTo) : end;
        // Only the first piece can stand at the place of the token before.
        const int pieceFlags = flags;
        flags = 0;
        return splitting.emit(splitting.context, pieceFlags, token.data() + from, static_cast<int>(to - from),
                              pieceStart, pieceEnd);
    }

    const Splitting& splitting;
    int flags;
    std::string_view token;
    std::string_view original;
    int start;
    int end;
    bool aligned = true;
};

int SplitToken(void* context, int flags, const char* text, int size, int start, int end)
{
    const auto& splitting = *static_cast<const Splitting*>(context);
    const std::string_view token(text, size > 0 ? static_cast<std::size_t>(size) : 0);
    CjkRun run;
    if (!FindCjkRun(token, 0, &run)) return splitting.emit(splitting.context, flags, text, size, start, end);
    return TokenSplitter(splitting, flags, token, start, end).Run(run);
}

int CreateTokenizer(void* context, const char** arguments, int count, Fts5Tokenizer** out)
{
    auto* api = static_cast<fts5_api*>(context);
    const char* parentName = count > 0 ? arguments[0] : "unicode61";
    auto* tokenizer = new (std::nothrow) PairTokenizer;
    if (!tokenizer) return SQLITE_NOMEM;
    void* parentContext = nullptr;
    int rc = api->xFindTokenizer(api, parentName, &parentContext, &tokenizer->parent);
    if (rc == SQLITE_OK) {
        rc = tokenizer->parent.xCreate(parentContext, count > 0 ? arguments + 1 : nullptr, count > 0 ? count - 1 : 0,
                                       &tokenizer->parentInstance);
    }
    if (rc != SQLITE_OK) {
        delete tokenizer;
        return rc;
    }
    *out = reinterpret_cast<Fts5Tokenizer*>(tokenizer);
    return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer* instance)
{
    auto* tokenizer = reinterpret_cast<PairTokenizer*>(instance);
    if (tokenizer->parentInstance) tokenizer->parent.xDelete(tokenizer->parentInstance);
    delete tokenizer;
}

// The caller's callback for tokens of a folded copy: their offsets taken
// back to the text the caller gave.
struct Unfolding {
    void* context;
    TokenCallback emit;
    const std::vector<int>* origins;
};

int Unfold(void* context, int flags, const char* token, int size, int start, int end)
{
    const auto& unfolding = *static_cast<const Unfolding*>(context);
    const auto& origins = *unfolding.origins;
    const auto within = [&](int at) { return at >= 0 && static_cast<std::size_t>(at) < origins.size(); };
    if (within(start) && within(end)) {
        start = origins[start];
        end = origins[end];
    }
    return unfolding.emit(unfolding.context, flags, token, size, start, end);
}

int Tokenize(Fts5Tokenizer* instance, void* context, int flags, const char* text, int size, TokenCallback emit)
{
    std::string folded;
    std::vector<int> origins;
    Unfolding unfolding{context, emit, &origins};
    try {
        if (FoldLetters(std::string_view(text, size > 0 ? static_cast<std::size_t>(size) : 0), folded, origins)) {
            text = folded.data();
            size = static_cast<int>(folded.size());
            context = &unfolding;
            emit = Unfold;
        }
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    auto* tokenizer = reinterpret_cast<PairTokenizer*>(instance);
    Splitting splitting{context, emit, std::string_view(text, size > 0 ? static_cast<std::size_t>(size) : 0),
                        (flags & FTS5_TOKENIZE_DOCUMENT) != 0};
    // A text without those scripts (most) goes to the parent alone, its
    // tokens straight to the caller.
    if (!HasCjk(splitting.text))
        return tokenizer->parent.xTokenize(tokenizer->parentInstance, context, flags, text, size, emit);
    return tokenizer->parent.xTokenize(tokenizer->parentInstance, &splitting, flags, text, size, SplitToken);
}

}  // namespace

bool RegisterPairTokenizer(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    if (!api || api->iVersion < 2) return false;
    fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
    return api->xCreateTokenizer(api, tokenizerName, api, &tokenizer, nullptr) == SQLITE_OK;
}

fts5_api* FindFts5(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &prepared, nullptr) != SQLITE_OK) return nullptr;
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(prepared, sqlite3_finalize);
    if (sqlite3_bind_pointer(prepared, 1, &api, "fts5_api_ptr", nullptr) != SQLITE_OK) return nullptr;
    sqlite3_step(prepared);
    return api;
}

}  // namespace host::index
