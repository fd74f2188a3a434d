#include "index/properties/field_words.h"

#include "text/cjk_pairs.h"
#include "text/text_conversion.h"

namespace host::index {
namespace {

// How many folders above a file are searched by their names.
constexpr int kFolderLevels = 2;

// Whether the character at `at` (a UTF-8 lead byte) separates words:
// ASCII that is not a letter or digit, and the punctuation blocks (Latin-1
// signs, general punctuation, CJK symbols but for the iteration marks,
// full-width signs). Everything else is a letter to the tokenizers.
size_t Separator(std::string_view text, size_t at)
{
    const unsigned char lead = text[at];
    if (lead < 0x80)
        return (lead >= '0' && lead <= '9') || ((lead | 0x20) >= 'a' && (lead | 0x20) <= 'z') ? 0 : 1;
    const std::u16string one = FromUtf8(text.substr(at, lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2));
    const char16_t unit = one.empty() ? 0 : one[0];
    const bool punctuation = (unit >= 0x00A0 && unit <= 0x00BF && unit != 0x00AA && unit != 0x00B5 && unit != 0x00BA) ||
                             unit == 0x00D7 || unit == 0x00F7 || (unit >= 0x2000 && unit <= 0x206F) ||
                             (unit >= 0x3000 && unit <= 0x303F && (unit < 0x3005 || unit > 0x3007)) ||
                             (unit >= 0xFF01 && unit <= 0xFF0F) || (unit >= 0xFF1A && unit <= 0xFF20);
    return punctuation ? (lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2) : 0;
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text)
{
    const std::string paired = PairCjkRuns(text);
    std::vector<std::string> words;
    std::string word;
    for (size_t at = 0; at < paired.size();) {
        if (const size_t skip = Separator(paired, at)) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
            at += skip;
        } else {
            word += paired[at++];
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

void AppendFieldWords(std::string& out, std::string_view marker, std::string_view text)
{
    for (const std::string& word : SplitWords(text)) {
        if (!out.empty())
            out += ' ';
        out.append(marker).append(" ").append(word);
    }
}

std::string FieldMarker(std::string_view field)
{
    return "qq" + std::string(field);
}

std::string TagMarker(std::string_view name)
{
    std::string marker = "qqtag";
    for (char c : FoldTagName(name))
        if (Separator(std::string_view(&c, 1), 0) == 0)
            marker += c;
    return marker;
}

std::string MediaWords(const MediaProperties& properties)
{
    std::string words;
    AppendFieldWords(words, FieldMarker("album"), properties.album);
    AppendFieldWords(words, FieldMarker("albumartist"), properties.albumArtist);
    AppendFieldWords(words, FieldMarker("genre"), properties.genre);
    AppendFieldWords(words, FieldMarker("composer"), properties.composer);
    if (properties.year)
        AppendFieldWords(words, FieldMarker("year"), std::to_string(properties.year));
    if (properties.track)
        AppendFieldWords(words, FieldMarker("track"), std::to_string(properties.track));
    return words;
}

std::string TagWords(const MediaProperties& properties)
{
    std::string words;
    std::string_view others = properties.others;
    while (!others.empty()) {
        const size_t end = others.find('\n');
        const std::string_view line = others.substr(0, end);
        others = end == std::string_view::npos ? std::string_view() : others.substr(end + 1);
        const size_t tab = line.find('\t');
        if (tab != std::string_view::npos)
            AppendFieldWords(words, TagMarker(line.substr(0, tab)), line.substr(tab + 1));
    }
    return words;
}

std::string NameWords(std::string_view path)
{
    // The file's name after its marker, for name:, then the names of its
    // folder and the one above (an album's and its artist's, as libraries
    // are laid out) as plain words: the folders further up (a home, a
    // mount) would match every file.
    const std::string text = ToUtf8(FromCodePage(CP_ACP, std::string(path)));
    size_t slash = text.rfind('/');
    std::string words;
    AppendFieldWords(words, FieldMarker("name"), slash == std::string::npos ? text : text.substr(slash + 1));
    for (int level = 0; level < kFolderLevels && slash != std::string::npos && slash > 0; ++level) {
        const size_t above = text.rfind('/', slash - 1);
        const size_t start = above == std::string::npos ? 0 : above + 1;
        for (const std::string& word : SplitWords(std::string_view(text).substr(start, slash - start)))
            words.append(" ").append(word);
        slash = above;
    }
    return words;
}

}  // namespace host::index
