// The stemming tokenizer over its parent. Its parent has folded case and
// accents already, so a Latin word reaches the stemmer as lowercase ASCII;
// the stemmer works on one word at a time and keeps its result in a buffer
// of its own, one stemmer a tokenizer (FTS5 uses a tokenizer from one
// connection at a time).
//
// The English stemmer is linked alone, from libstemmer's static library,
// through the functions its generated module exports: the library's own
// entry point (sb_stemmer_new) looks stemmers up in a table of all thirty
// languages, whose pointers the loader relocates at every start, about a
// hundred pages, which cost every search 1.5 ms on a machine with slow page
// faults.
#include "index/sqlite/stem_tokenizer.h"

#include "index/sqlite/pair_tokenizer.h"
#include "index/sqlite/stem_tally.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

// Snowball's runtime and its English module. A stemmer's state begins with
// the word it holds: its bytes, the cursor and the length.
extern "C" {
struct SN_env {
    unsigned char* p;
    int c;
    int l;
};
SN_env* english_UTF_8_create_env(void);
void english_UTF_8_close_env(SN_env* env);
int english_UTF_8_stem(SN_env* env);
int SN_set_current(SN_env* env, int size, const unsigned char* word);
}

namespace host::index {
namespace {

const char* const tokenizerName = "trellan_stem";

using TokenCallback = int (*)(void*, int, const char*, int, int, int);

// The stems a tokenizer made, by a hash of their words: texts share most
// of their words, and a lookup costs a tenth of the stemmer's passes over a
// word. Made once a tokenizer has stemmed more words than a query holds,
// and small (24 KB), since a search stems its hits' texts for their
// snippets and pays for each new page it touches; a longer word is
// stemmed each time.
constexpr size_t kRememberedStems = 512;
constexpr size_t kWordsBeforeRemembering = 64;
constexpr size_t kLongestRemembered = 23;
struct RememberedStem {
    unsigned char wordSize = 0, stemSize = 0;
    char word[kLongestRemembered], stem[kLongestRemembered];
};

// What each connection's tokenizers are made with.
struct Registration {
    fts5_api* api;
    StemTally* tally;  // null on a connection that does not write
};

struct StemTokenizer {
    StemTally* tally = nullptr;
    fts5_tokenizer parent{};
    Fts5Tokenizer* parentInstance = nullptr;
    SN_env* stemmer = nullptr;
    size_t stemmed = 0;
    std::unique_ptr<RememberedStem[]> remembered;
};

// One call of xTokenize: the caller's callback and the tokenizer, and the
// tally that hears of each token when it is armed for a stored text.
struct Stemming {
    void* context;
    TokenCallback emit;
    StemTokenizer* tokenizer;
    StemTally* tally;
};

int Emit(const Stemming& stemming, int flags, const char* token, int size, int start, int end)
{
    if (stemming.tally && !stemming.tally->OnToken(std::string_view(token, static_cast<size_t>(size))))
        return SQLITE_NOMEM;
    return stemming.emit(stemming.context, flags, token, size, start, end);
}

int StemToken(void* context, int flags, const char* token, int size, int start, int end)
{
    const auto& stemming = *static_cast<const Stemming*>(context);
    // What the stemmer reads is ASCII with a letter, and a word of two
    // letters or fewer is its own stem; the hash looks the word up.
    bool letter = false;
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        if (c >= 0x80)
            return Emit(stemming, flags, token, size, start, end);
        letter = letter || (c >= 'a' && c <= 'z');
        hash = (hash ^ c) * 16777619u;
    }
    if (size <= 2 || !letter)
        return Emit(stemming, flags, token, size, start, end);
    StemTokenizer& tokenizer = *stemming.tokenizer;
    RememberedStem* slot = nullptr;
    if (tokenizer.remembered && static_cast<size_t>(size) <= kLongestRemembered) {
        slot = &tokenizer.remembered[hash % kRememberedStems];
        if (slot->wordSize == size && std::memcmp(slot->word, token, static_cast<size_t>(size)) == 0)
            return Emit(stemming, flags, slot->stem, slot->stemSize, start, end);
    } else if (!tokenizer.remembered && ++tokenizer.stemmed > kWordsBeforeRemembering) {
        tokenizer.remembered.reset(new (std::nothrow) RememberedStem[kRememberedStems]);
    }
    SN_env* stemmer = tokenizer.stemmer;
    if (SN_set_current(stemmer, size, reinterpret_cast<const unsigned char*>(token)) != 0 ||
        english_UTF_8_stem(stemmer) < 0)
        return SQLITE_NOMEM;
    const std::string_view stem(reinterpret_cast<const char*>(stemmer->p), static_cast<size_t>(stemmer->l));
    if (slot && stem.size() <= kLongestRemembered) {
        slot->wordSize = static_cast<unsigned char>(size);
        slot->stemSize = static_cast<unsigned char>(stem.size());
        std::memcpy(slot->word, token, static_cast<size_t>(size));
        std::memcpy(slot->stem, stem.data(), stem.size());
    }
    return Emit(stemming, flags, stem.data(), static_cast<int>(stem.size()), start, end);
}

void DeleteTokenizer(Fts5Tokenizer* instance)
{
    auto* tokenizer = reinterpret_cast<StemTokenizer*>(instance);
    if (tokenizer->parentInstance)
        tokenizer->parent.xDelete(tokenizer->parentInstance);
    if (tokenizer->stemmer)
        english_UTF_8_close_env(tokenizer->stemmer);
    delete tokenizer;
}

int CreateTokenizer(void* context, const char** arguments, int count, Fts5Tokenizer** out)
{
    const auto& registration = *static_cast<const Registration*>(context);
    fts5_api* api = registration.api;
    auto* tokenizer = new (std::nothrow) StemTokenizer;
    if (!tokenizer)
        return SQLITE_NOMEM;
    tokenizer->tally = registration.tally;
    tokenizer->stemmer = english_UTF_8_create_env();
    void* parentContext = nullptr;
    int rc = tokenizer->stemmer ? SQLITE_OK : SQLITE_NOMEM;
    if (rc == SQLITE_OK)
        rc = api->xFindTokenizer(api, count > 0 ? arguments[0] : "unicode61", &parentContext, &tokenizer->parent);
    if (rc == SQLITE_OK)
        rc = tokenizer->parent.xCreate(parentContext, count > 0 ? arguments + 1 : nullptr, count > 0 ? count - 1 : 0,
                                       &tokenizer->parentInstance);
    if (rc != SQLITE_OK) {
        DeleteTokenizer(reinterpret_cast<Fts5Tokenizer*>(tokenizer));
        return rc;
    }
    *out = reinterpret_cast<Fts5Tokenizer*>(tokenizer);
    return SQLITE_OK;
}

int Tokenize(Fts5Tokenizer* instance, void* context, int flags, const char* text, int size, TokenCallback emit)
{
    auto* tokenizer = reinterpret_cast<StemTokenizer*>(instance);
    StemTally* tally = tokenizer->tally && tokenizer->tally->Armed() && (flags & FTS5_TOKENIZE_DOCUMENT)
                           ? tokenizer->tally
                           : nullptr;
    if (tally)
        tally->OnColumn();
    Stemming stemming{context, emit, tokenizer, tally};
    return tokenizer->parent.xTokenize(tokenizer->parentInstance, &stemming, flags, text, size, StemToken);
}

}  // namespace

bool RegisterStemTokenizer(sqlite3* db, StemTally* tally)
{
    fts5_api* api = FindFts5(db);
    if (!api || api->iVersion < 2)
        return false;
    auto* registration = new (std::nothrow) Registration{api, tally};
    if (!registration)
        return false;
    fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
    // SQLite lets go of the registration with the connection, or at once on failure.
    return api->xCreateTokenizer(api, tokenizerName, registration, &tokenizer,
                                 [](void* made) { delete static_cast<Registration*>(made); }) == SQLITE_OK;
}

}  // namespace host::index

namespace host::index {

TextSplitter::TextSplitter(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    void* context = nullptr;
    if (api && api->xFindTokenizer(api, textsTokenizer[0], &context, &tokenizer) == SQLITE_OK &&
        tokenizer.xCreate(context, const_cast<const char**>(textsTokenizer + 1), textsTokenizerWords - 1, &instance) != SQLITE_OK)
        instance = nullptr;
}

TextSplitter::~TextSplitter()
{
    if (instance)
        tokenizer.xDelete(instance);
}

int TextSplitter::Split(int flags, std::string_view text, void* context, Callback callback) const
{
    return tokenizer.xTokenize(instance, context, flags, text.data(), static_cast<int>(text.size()), callback);
}

}  // namespace host::index
