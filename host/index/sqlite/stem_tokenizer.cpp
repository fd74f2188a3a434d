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

#include <new>

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

struct StemTokenizer {
    fts5_tokenizer parent{};
    Fts5Tokenizer* parentInstance = nullptr;
    SN_env* stemmer = nullptr;
};

// One call of xTokenize: the caller's callback and the stemmer.
struct Stemming {
    void* context;
    TokenCallback emit;
    SN_env* stemmer;
};

// Whether `token` is a word the English stemmer reads: ASCII, with a letter.
bool Stemmable(const char* token, int size)
{
    bool letter = false;
    for (int i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        if (c >= 0x80)
            return false;
        letter = letter || (c >= 'a' && c <= 'z');
    }
    return letter;
}

int StemToken(void* context, int flags, const char* token, int size, int start, int end)
{
    const auto& stemming = *static_cast<const Stemming*>(context);
    if (!Stemmable(token, size))
        return stemming.emit(stemming.context, flags, token, size, start, end);
    SN_env* stemmer = stemming.stemmer;
    if (SN_set_current(stemmer, size, reinterpret_cast<const unsigned char*>(token)) != 0 ||
        english_UTF_8_stem(stemmer) < 0)
        return SQLITE_NOMEM;
    return stemming.emit(stemming.context, flags, reinterpret_cast<const char*>(stemmer->p), stemmer->l, start,
                         end);
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
    auto* api = static_cast<fts5_api*>(context);
    auto* tokenizer = new (std::nothrow) StemTokenizer;
    if (!tokenizer)
        return SQLITE_NOMEM;
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
    Stemming stemming{context, emit, tokenizer->stemmer};
    return tokenizer->parent.xTokenize(tokenizer->parentInstance, &stemming, flags, text, size, StemToken);
}

}  // namespace

bool RegisterStemTokenizer(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    if (!api || api->iVersion < 2)
        return false;
    fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
    return api->xCreateTokenizer(api, tokenizerName, api, &tokenizer, nullptr) == SQLITE_OK;
}

}  // namespace host::index
