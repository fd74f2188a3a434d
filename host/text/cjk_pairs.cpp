// The scripts' characters as ranges of code points, a strict UTF-8 reader
// (anything else is passed over byte by byte), and the pairing. Every one of
// these characters is U+1100 or above, so a scan passes over every byte below
// 0xE1 (ASCII, Latin, Greek, Cyrillic, ...) without reading it as text.
#include "text/cjk_pairs.h"


namespace host {
namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

// Letters of the scripts written without spaces, and their marks.
const CodeRange cjkRanges[] = {
    {0x1100, 0x11FF},    // Hangul jamo
    {0x3005, 0x3005},    // 々, the iteration mark
    {0x3007, 0x3007},    // 〇, the ideographic zero
    {0x3041, 0x3096},    // Hiragana
    {0x309D, 0x309F},    // Hiragana iteration marks, ゟ
    {0x30A1, 0x30FA},    // Katakana (not ゠ U+30A0)
    {0x30FC, 0x30FF},    // ー, the prolonged sound mark, and Katakana iteration marks (not ・ U+30FB)
    {0x3131, 0x318E},    // Hangul compatibility jamo
    {0x31F0, 0x31FF},    // Katakana phonetic extensions
    {0x3400, 0x4DBF},    // CJK unified ideographs extension A
    {0x4E00, 0x9FFF},    // CJK unified ideographs
    {0xA960, 0xA97F},    // Hangul jamo extended A
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xD7B0, 0xD7FF},    // Hangul jamo extended B
    {0xF900, 0xFA6D},    // CJK compatibility ideographs
    {0xFA70, 0xFAD9},
    {0xFF66, 0xFF9F},    // half-width Katakana, its ｰ and voicing marks (not ･ U+FF65)
    {0xFFA0, 0xFFDC},    // half-width Hangul
    {0x1B000, 0x1B16F},  // Kana supplement and extensions
    {0x20000, 0x3FFFF},  // CJK unified ideographs extensions B on, compatibility supplement
};

// Characters above ASCII that are neither letters nor digits: a run next to
// one of these needs no space to stand apart. Anything else above ASCII is
// taken for a letter of another script.
const CodeRange notWordRanges[] = {
    {0x0080, 0x00A9},  // Latin-1 controls, spaces and signs
    {0x00AB, 0x00B1},
    {0x00B4, 0x00B4},
    {0x00B6, 0x00B8},
    {0x00BB, 0x00BB},
    {0x00BF, 0x00BF},
    {0x00D7, 0x00D7},  // ×
    {0x00F7, 0x00F7},  // ÷
    {0x2000, 0x206F},  // general punctuation and spaces
    {0x3000, 0x3004},  // ideographic space, 、。〃〄
    {0x3008, 0x3020},  // CJK brackets 「」『』【】 and marks
    {0x3030, 0x3030},  // 〰
    {0x3099, 0x309C},  // the kana voicing marks, combining and spacing: not letters to unicode61
    {0x30A0, 0x30A0},  // ゠
    {0x30FB, 0x30FB},  // ・
    {0xFE30, 0xFE4F},  // CJK compatibility forms
    {0xFF01, 0xFF0F},  // full-width punctuation
    {0xFF1A, 0xFF20},
    {0xFF3B, 0xFF40},
    {0xFF5B, 0xFF65},
};

template <std::size_t count>
bool InRanges(const CodeRange (&ranges)[count], char32_t value) {
    for (const CodeRange& range : ranges) {
        if (value < range.first) return false;  // the rows are in order
        if (value <= range.last) return true;
    }
    return false;
}

bool IsCjk(char32_t value) {
    return value >= cjkRanges[0].first && InRanges(cjkRanges, value);
}

struct Decoded {
    char32_t value = 0;
    std::size_t length = 0;  // 0: the bytes at that place are not UTF-8
};

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The character at `at`, read strictly: no overlong forms, surrogates or
// values past U+10FFFF.
Decoded DecodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t offset) { return static_cast<unsigned char>(text[at + offset]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {};
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high) return {};
    for (std::size_t offset = 1; offset < length; ++offset) {
        if (!IsContinuation(byte(offset))) return {};
        value = (value << 6) | (byte(offset) & 0x3F);
    }
    return {value, length};
}

bool IsWordCharacter(Decoded character) {
    if (character.length == 0) return false;
    const char32_t value = character.value;
    if (value < 0x80) {
        return (value >= '0' && value <= '9') || (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z');
    }
    return !InRanges(notWordRanges, value);
}

// Whether the character that ends just before `at` is a letter or digit.
bool WordCharacterBefore(std::string_view text, std::size_t at) {
    for (std::size_t back = 1; back <= 4 && back <= at; ++back) {
        if (IsContinuation(static_cast<unsigned char>(text[at - back]))) continue;
        const Decoded character = DecodeAt(text, at - back);
        return character.length == back && IsWordCharacter(character);
    }
    return false;
}

}  // namespace

bool FindCjkRun(std::string_view utf8, std::size_t from, CjkRun* run) {
    const std::size_t size = utf8.size();
    std::size_t at = from;
    while (at < size) {
        if (static_cast<unsigned char>(utf8[at]) < 0xE1) {
            ++at;
            continue;
        }
        Decoded character = DecodeAt(utf8, at);
        if (character.length == 0) {
            ++at;
            continue;
        }
        if (!IsCjk(character.value)) {
            at += character.length;
            continue;
        }
        run->start = at;
        do {
            at += character.length;
            character = at < size ? DecodeAt(utf8, at) : Decoded{};
        } while (character.length != 0 && IsCjk(character.value));
        run->end = at;
        return true;
    }
    return false;
}

bool HasCjk(std::string_view utf8) {
    CjkRun run;
    return FindCjkRun(utf8, 0, &run);
}

std::string PairCjkRuns(std::string_view utf8) {
    CjkRun run;
    if (!FindCjkRun(utf8, 0, &run)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() * 2);
    std::size_t copied = 0;
    do {
        out.append(utf8.substr(copied, run.start - copied));
        if (WordCharacterBefore(utf8, run.start)) out += ' ';
        bool first = true;
        ForEachCjkPiece(utf8, run, [&](std::size_t start, std::size_t end) {
            if (!first) out += ' ';
            first = false;
            out.append(utf8.substr(start, end - start));
        });
        if (run.end < utf8.size() && IsWordCharacter(DecodeAt(utf8, run.end))) out += ' ';
        copied = run.end;
    } while (FindCjkRun(utf8, copied, &run));
    out.append(utf8.substr(copied));
    return out;
}

std::string CjkCharacters(std::string_view utf8) {
    std::string out;
    CjkRun run;
    for (std::size_t from = 0; FindCjkRun(utf8, from, &run); from = run.end) {
        for (std::size_t at = run.start; at < run.end;) {
            const std::size_t length = CjkCharacterLength(utf8, at);
            if (!out.empty()) out += ' ';
            out.append(utf8.substr(at, length));
            at += length;
        }
    }
    return out;
}

}  // namespace host
