// The FTS5 tokenizer `trellan_stem`: it wraps another tokenizer, named with
// its arguments after its own ('trellan_stem trellan_pairs unicode61 ...'),
// and reports each of that parent's tokens by its English stem, as the
// Snowball English stemmer (libstemmer's "english", the stemmer PostgreSQL's
// english_stem uses) makes it, so that both back ends find the same forms of
// a word: "lie" finds "lying", "sky" finds "skies". Tokens of other scripts
// and of digits alone pass as they are.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace host::index {

// The stemmer's version, kept in the index's settings with the pairs' and
// the folding's: texts stemmed otherwise are split anew.
constexpr int stemmerVersion = 1;

class StemTally;

// The tokenizer of the stemmed texts with its arguments, as the table names it.
inline constexpr const char* textsTokenizer[] = {"trellan_stem", "trellan_pairs", "unicode61", "remove_diacritics",
                                                  "2"};
inline constexpr int textsTokenizerWords = sizeof textsTokenizer / sizeof *textsTokenizer;

// Registers `trellan_stem` on `db`; false when this SQLite has no FTS5 or
// the registration fails. Each stored text it splits while `tally` (if any)
// is armed is reported to it, column by column, token by token.
bool RegisterStemTokenizer(sqlite3* db, StemTally* tally = nullptr);

}  // namespace host::index

namespace host::index {

// One instance of the stemmed texts' tokenizer on a connection, to split a
// text as FTS5 splits it for that table: a query's word into its token, or
// a stored row again, its tokens reported to the connection's tally.
class TextSplitter {
public:
    using Callback = int (*)(void* context, int flags, const char* token, int size, int start, int end);
    explicit TextSplitter(sqlite3* db);
    TextSplitter(const TextSplitter&) = delete;
    TextSplitter& operator=(const TextSplitter&) = delete;
    ~TextSplitter();

    bool Valid() const { return instance != nullptr; }
    // FTS5_TOKENIZE_QUERY or FTS5_TOKENIZE_DOCUMENT; SQLite's code.
    int Split(int flags, std::string_view text, void* context, Callback callback) const;

private:
    fts5_tokenizer tokenizer{};
    Fts5Tokenizer* instance = nullptr;
};

}  // namespace host::index
