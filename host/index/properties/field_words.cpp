// The markers of the property fields and the words stored after them, and
// the query's phrase for a word in one field.
#include "index/properties/field_words.h"

#include "index/query/fields.h"

#include "text/cjk_pairs.h"
#include "text/text_conversion.h"

#include <string>

namespace host::index {
namespace {

// How many folders above a file are searched by their names.
constexpr int kFolderLevels = 2;

// The code point of the UTF-8 sequence at `at` and its length; a byte that
// starts no well-formed sequence is a character of its own.
size_t Decode(std::string_view text, size_t at, char32_t& point)
{
    const unsigned char lead = text[at];
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    point = lead < 0x80 || length == 1 ? lead : lead & (0x7F >> length);
    if (at + length > text.size())
        return 1;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = text[at + i];
        if ((next & 0xC0) != 0x80)
            return 1;
        point = (point << 6) | (next & 0x3F);
    }
    return length;
}

// Whether a character separates words: ASCII that is not a letter or a
// digit, and the punctuation blocks (Latin-1 signs, general punctuation,
// CJK symbols but for the iteration marks, full-width signs). Everything
// else is a letter to the tokenizers.
bool Separates(char32_t point)
{
    if (point < 0x80)
        return !((point >= '0' && point <= '9') || ((point | 0x20) >= 'a' && (point | 0x20) <= 'z'));
    return (point >= 0x00A0 && point <= 0x00BF && point != 0x00AA && point != 0x00B5 && point != 0x00BA) ||
           point == 0x00D7 || point == 0x00F7 || (point >= 0x2000 && point <= 0x206F) ||
           (point >= 0x3000 && point <= 0x303F && (point < 0x3005 || point > 0x3007)) ||
           (point >= 0xFF01 && point <= 0xFF0F) || (point >= 0xFF1A && point <= 0xFF20);
}

// Calls `visit` with each word of `text`, in order.
template <typename Visit>
void ForEachWord(std::string_view text, Visit visit)
{
    const std::string paired = HasCjk(text) ? PairCjkRuns(text) : std::string();
    const std::string_view words = paired.empty() ? text : std::string_view(paired);
    size_t start = 0;
    for (size_t at = 0; at < words.size();) {
        char32_t point;
        const size_t length = Decode(words, at, point);
        if (Separates(point)) {
            if (at > start)
                visit(words.substr(start, at - start));
            start = at + length;
        }
        at += length;
    }
    if (words.size() > start)
        visit(words.substr(start));
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text)
{
    std::vector<std::string> words;
    ForEachWord(text, [&](std::string_view word) { words.emplace_back(word); });
    return words;
}

void AppendFieldWords(std::string& out, std::string_view marker, std::string_view text)
{
    ForEachWord(text, [&](std::string_view word) {
        if (!out.empty())
            out += ' ';
        out.append(marker).append(" ").append(word);
    });
}

std::string MarkedCharacters(std::string_view marked)
{
    std::string out;
    std::string_view marker;
    while (!marked.empty()) {
        const size_t space = marked.find(' ');
        const std::string_view word = marked.substr(0, space);
        marked = space == std::string_view::npos ? std::string_view() : marked.substr(space + 1);
        if (word.starts_with("qq")) {
            marker = word;
            continue;
        }
        if (HasCjk(word)) {
            for (std::string_view character : SplitWords(CjkCharacters(word)))
                out.append(out.empty() ? "" : " ").append(marker).append(marker.empty() ? "" : " ").append(character);
        }
        marker = {};
    }
    return out;
}

std::string FieldMarker(std::string_view field)
{
    return "qq" + std::string(field);
}

std::string TagMarker(std::string_view name)
{
    std::string marker = "qqtag";
    ForEachWord(FoldTagName(name), [&](std::string_view word) { marker.append(word); });
    return marker;
}

std::string MediaWords(const MediaProperties& properties)
{
    std::string words;
    for (size_t i = 0; i < fieldCount; ++i)
        if (fieldTable[i].propertyText || fieldTable[i].propertyNumber)
            AppendFieldWords(words, FieldMarker(fieldTable[i].marker), PropertyText(fieldTable[i], properties));
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

FileNames NamesOf(std::string_view path)
{
    const std::string text = ToUtf8(FromCodePage(CP_ACP, std::string(path)));
    size_t slash = text.rfind('/');
    FileNames names{slash == std::string::npos ? text : text.substr(slash + 1), std::string()};
    for (int level = 0; level < kFolderLevels && slash != std::string::npos && slash > 0; ++level) {
        const size_t above = text.rfind('/', slash - 1);
        const size_t start = above == std::string::npos ? 0 : above + 1;
        names.folders.append(names.folders.empty() ? "" : " ").append(text, start, slash - start);
        slash = above;
    }
    return names;
}

std::string NameWords(std::string_view path)
{
    // The name after its marker, for name:; the folders as plain words.
    const FileNames names = NamesOf(path);
    std::string words;
    AppendFieldWords(words, FieldMarker("name"), names.name);
    ForEachWord(names.folders, [&](std::string_view word) { words.append(" ").append(word); });
    return words;
}

}  // namespace host::index
