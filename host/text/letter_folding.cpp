// The folding of letters, through the table of letter_folding_table.h. The
// letters it folds lie between U+00C0 and U+045F (two bytes in UTF-8, led
// by C3 to D1) and between U+1E00 and U+1FFF (three, led by E1 B8 to E1
// BF): text without those lead bytes costs one scan, and each letter after
// one is looked up in an array of those code points, made once from the
// table.
#include "text/letter_folding.h"

#include "text/letter_folding_table.h"

#include <array>

namespace host {
namespace {

constexpr char32_t kFirstTwoByte = 0xC0, kLastTwoByte = 0x45F;
constexpr char32_t kFirstThreeByte = 0x1E00, kLastThreeByte = 0x1FFF;
constexpr size_t kTwoByteLetters = kLastTwoByte - kFirstTwoByte + 1;

// The plain letters of each code point of both ranges, null where none.
using Plains = std::array<const char*, kTwoByteLetters + (kLastThreeByte - kFirstThreeByte + 1)>;

const Plains& PlainsByLetter()
{
    static const Plains plains = [] {
        Plains made{};
        for (const FoldingRow& row : foldingTable) {
            if (row.letter >= kFirstTwoByte && row.letter <= kLastTwoByte)
                made[row.letter - kFirstTwoByte] = row.plain;
            else if (row.letter >= kFirstThreeByte && row.letter <= kLastThreeByte)
                made[kTwoByteLetters + (row.letter - kFirstThreeByte)] = row.plain;
        }
        return made;
    }();
    return plains;
}

bool MayBegin(unsigned char byte)
{
    return (byte >= 0xC3 && byte <= 0xD1) || byte == 0xE1;
}

bool Continues(std::string_view utf8, size_t at)
{
    return at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80;
}

// The plain letters of the letter that stands at `at`, and its `length`; or
// null.
const char* PlainAt(std::string_view utf8, size_t at, size_t& length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[at + i]); };
    if (byte(0) != 0xE1) {
        if (!Continues(utf8, at + 1))
            return nullptr;
        const char32_t letter = (char32_t(byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
        length = 2;
        const bool known = letter >= kFirstTwoByte && letter <= kLastTwoByte;
        return known ? PlainsByLetter()[letter - kFirstTwoByte] : nullptr;
    }
    if (!Continues(utf8, at + 1) || !Continues(utf8, at + 2) || byte(1) < 0xB8)
        return nullptr;
    const char32_t letter = 0x1000 | (char32_t(byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    length = 3;
    return PlainsByLetter()[kTwoByteLetters + (letter - kFirstThreeByte)];
}

// A letter of the table in UTF-8 (two bytes or three).
std::string ToUtf8Letter(char32_t letter)
{
    if (letter < 0x800)
        return {char(0xC0 | (letter >> 6)), char(0x80 | (letter & 0x3F))};
    return {char(0xE0 | (letter >> 12)), char(0x80 | ((letter >> 6) & 0x3F)), char(0x80 | (letter & 0x3F))};
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
        for (const FoldingRow& row : foldingTable)
            all += ToUtf8Letter(row.letter);
        return all;
    }();
    return letters;
}

}  // namespace host
