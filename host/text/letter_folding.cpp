// The folding table, by the letters' UTF-8 bytes. Every letter of it is two
// bytes long (U+00C0..U+017F) but ẞ, three; the bytes that begin them (C3,
// C4, C5, E1) are looked for first, so text without them costs one scan.
#include "text/letter_folding.h"

#include <cstring>

namespace host {
namespace {

const struct {
    const char* letter;  // UTF-8
    const char* plain;
} foldingTable[] = {
    {"\xC3\x86", "ae"}, {"\xC3\xA6", "ae"},  // Æ æ
    {"\xC3\x90", "d"},  {"\xC3\xB0", "d"},   // Ð ð
    {"\xC3\x98", "o"},  {"\xC3\xB8", "o"},   // Ø ø
    {"\xC3\x9E", "th"}, {"\xC3\xBE", "th"},  // Þ þ
    {"\xC3\x9F", "ss"}, {"\xE1\xBA\x9E", "ss"},  // ß ẞ
    {"\xC4\x90", "d"},  {"\xC4\x91", "d"},   // Đ đ
    {"\xC4\xA6", "h"},  {"\xC4\xA7", "h"},   // Ħ ħ
    {"\xC4\xB1", "i"},                       // ı
    {"\xC4\xBF", "l"},  {"\xC5\x80", "l"},   // Ŀ ŀ
    {"\xC5\x81", "l"},  {"\xC5\x82", "l"},   // Ł ł
    {"\xC5\x8A", "n"},  {"\xC5\x8B", "n"},   // Ŋ ŋ
    {"\xC5\x92", "oe"}, {"\xC5\x93", "oe"},  // Œ œ
};

bool MayBegin(unsigned char byte)
{
    return byte == 0xC3 || byte == 0xC4 || byte == 0xC5 || byte == 0xE1;
}

// The row whose letter stands at `at`, or null.
const char* PlainAt(std::string_view utf8, size_t at, size_t& length)
{
    for (const auto& row : foldingTable) {
        length = std::strlen(row.letter);
        if (utf8.compare(at, length, row.letter) == 0)
            return row.plain;
    }
    return nullptr;
}

}  // namespace

bool FoldLetters(std::string_view utf8, std::string& folded, std::vector<int>& origins)
{
    size_t at = 0, length = 0;
    while (at < utf8.size() && !(MayBegin(static_cast<unsigned char>(utf8[at])) && PlainAt(utf8, at, length)))
        ++at;
    if (at == utf8.size())
        return false;
    folded.assign(utf8.substr(0, at));
    origins.resize(at);
    for (size_t i = 0; i < at; ++i)
        origins[i] = static_cast<int>(i);
    while (at < utf8.size()) {
        const char* plain = MayBegin(static_cast<unsigned char>(utf8[at])) ? PlainAt(utf8, at, length) : nullptr;
        if (plain) {
            // Each plain byte points at the letter it stands for.
            for (const char* byte = plain; *byte; ++byte) {
                folded += *byte;
                origins.push_back(static_cast<int>(at));
            }
            at += length;
        } else {
            folded += utf8[at];
            origins.push_back(static_cast<int>(at++));
        }
    }
    origins.push_back(static_cast<int>(utf8.size()));
    return true;
}

std::string_view LettersFolded(std::string_view utf8, std::string& storage)
{
    std::vector<int> origins;
    storage.clear();
    return FoldLetters(utf8, storage, origins) ? std::string_view(storage) : utf8;
}

const std::string& FoldedLetters()
{
    static const std::string letters = [] {
        std::string all;
        for (const auto& row : foldingTable)
            all += row.letter;
        return all;
    }();
    return letters;
}

}  // namespace host
