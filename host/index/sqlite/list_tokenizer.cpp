// The tokenizer of lists of tokens.
#include "index/sqlite/list_tokenizer.h"

#include "index/sqlite/pair_tokenizer.h"

#include <cstring>

namespace host::index {
namespace {

int CreateTokenizer(void*, const char**, int, Fts5Tokenizer** out)
{
    static int instance;  // it keeps no state
    *out = reinterpret_cast<Fts5Tokenizer*>(&instance);
    return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer*) {}

int Tokenize(Fts5Tokenizer*, void* context, int, const char* text, int size,
             int (*emit)(void*, int, const char*, int, int, int))
{
    for (int start = 0; start < size;) {
        const void* space = std::memchr(text + start, ' ', static_cast<size_t>(size - start));
        const int end = space ? static_cast<int>(static_cast<const char*>(space) - text) : size;
        if (end > start)
            if (const int rc = emit(context, 0, text + start, end - start, start, end); rc != SQLITE_OK)
                return rc;
        start = end + 1;
    }
    return SQLITE_OK;
}

}  // namespace

bool RegisterListTokenizer(sqlite3* db)
{
    fts5_api* api = FindFts5(db);
    fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
    return api && api->xCreateTokenizer(api, "trellan_list", nullptr, &tokenizer, nullptr) == SQLITE_OK;
}

}  // namespace host::index
