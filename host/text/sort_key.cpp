// The sort key: the letters of letter_folding.h first, then each letter of
// U+00C0..U+017F to its plain lowercase letter by a table, ASCII to lower
// case. A character the table leaves alone ('-': ×, ÷, Ĳ) is kept.
#include "text/sort_key.h"

#include "text/letter_folding.h"

namespace host {
namespace {

// U+00C0..U+017F, one plain letter each.
constexpr char plainLetters[] =
    "aaaaaa-ceeeeiiii-nooooo-ouuuuy--"   // U+00C0..U+00DF
    "aaaaaa-ceeeeiiii-nooooo-ouuuuy-y"   // U+00E0..U+00FF
    "aaaaaaccccccccddddeeeeeeeeeegggg"   // U+0100..U+011F
    "gggghhhhiiiiiiiiii--jjkkkllllllll"  // U+0120..U+0140
    "llnnnnnnnnnoooooo--rrrrrrssssssss"  // U+0141..U+0161
    "ttttttuuuuuuuuuuuuwwyyyzzzzzzs";    // U+0162..U+017F
static_assert(sizeof plainLetters - 1 == 0x180 - 0xC0, "one letter for each of U+00C0..U+017F");

}  // namespace

std::string SortKey(std::string_view utf8)
{
    std::string folded;
    utf8 = LettersFolded(utf8, folded);
    std::string key;
    key.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size(); ++at) {
        const unsigned char lead = static_cast<unsigned char>(utf8[at]);
        if (lead >= 'A' && lead <= 'Z') {
            key += static_cast<char>(lead + 32);
            continue;
        }
        // A two-byte sequence of U+00C0..U+017F: lead C3 to C5.
        if (lead >= 0xC3 && lead <= 0xC5 && at + 1 < utf8.size()) {
            const unsigned char next = static_cast<unsigned char>(utf8[at + 1]);
            const unsigned point = ((lead & 0x1Fu) << 6) | (next & 0x3Fu);
            if ((next & 0xC0) == 0x80 && point >= 0xC0 && point < 0x180 && plainLetters[point - 0xC0] != '-') {
                key += plainLetters[point - 0xC0];
                ++at;
                continue;
            }
        }
        key += static_cast<char>(lead);
    }
    return key;
}

}  // namespace host
