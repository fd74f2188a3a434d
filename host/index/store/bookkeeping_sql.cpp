// The bookkeeping statements put into a back end's words: its parameters'
// sign and the phrases in braces.
#include "index/store/bookkeeping_sql.h"

#include <cctype>

namespace host::index {

std::string Spoken(std::string_view sql, const Dialect& dialect)
{
    const struct {
        std::string_view word;
        const char* said;
    } words[] = {{"{now}", dialect.now}, {"{path}", dialect.filePath}, {"{texts}", dialect.textsKey}};
    std::string spoken;
    spoken.reserve(sql.size() + 32);
    for (size_t i = 0; i < sql.size();) {
        if (sql[i] == '?' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
            spoken += dialect.parameter;
            ++i;
            continue;
        }
        bool replaced = false;
        for (const auto& [word, said] : words) {
            if (sql.substr(i, word.size()) == word) {
                spoken += said;
                i += word.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            spoken += sql[i++];
    }
    return spoken;
}

}  // namespace host::index
