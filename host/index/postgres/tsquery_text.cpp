// The tsquery rendering of a query tree. A term is its words in a row
// (<->), each a quoted lexeme, folded as the host folds the texts it
// stores, that to_tsquery stems as the texts were;
// scripts written without spaces go in as the pairs the texts were split
// into. A property's words each follow the field's marker, as stored.
#include "index/postgres/tsquery_text.h"

#include "index/properties/field_words.h"
#include "text/cjk_pairs.h"
#include "text/letter_folding.h"

#include <cstdlib>
#include <vector>

namespace host::index {
namespace {

std::string Lexeme(const std::string& word, bool prefix, char weight)
{
    // Folded as the host folds the texts it stores.
    std::string folded;
    std::string lexeme(1, '\'');
    for (char c : LettersFolded(word, folded)) {
        if (c == '\'' || c == '\\')
            lexeme += c;
        lexeme += c;
    }
    lexeme += '\'';
    if (prefix || weight)
        lexeme += ":" + std::string(prefix ? "*" : "") + (weight ? std::string(1, weight) : "");
    return lexeme;
}

// The parts of a term between spaces, runs of scripts without spaces split
// into their pairs.
std::vector<std::string> SpacedParts(const std::string& words)
{
    std::vector<std::string> parts;
    for (size_t i = 0; i < words.size();) {
        while (i < words.size() && words[i] == ' ')
            ++i;
        size_t end = words.find(' ', i);
        if (end == std::string::npos)
            end = words.size();
        if (end > i) {
            std::string part = words.substr(i, end - i);
            if (HasCjk(part)) {
                for (std::string& pair : SplitWords(part))
                    parts.push_back(std::move(pair));
            } else {
                parts.push_back(std::move(part));
            }
        }
        i = end;
    }
    return parts;
}

void InRow(const std::vector<std::string>& parts, bool prefix, char weight, std::string& out)
{
    if (parts.size() > 1)
        out += '(';
    for (size_t i = 0; i < parts.size(); ++i)
        out.append(i ? " <-> " : "").append(Lexeme(parts[i], prefix && i + 1 == parts.size(), weight));
    if (parts.size() > 1)
        out += ')';
}

// Parts each after `marker`.
void Marked(const std::string& marker, const std::vector<std::string>& words, bool prefix, std::string& out)
{
    std::vector<std::string> parts;
    for (const std::string& word : words) {
        parts.push_back(marker);
        parts.push_back(word);
    }
    InRow(parts, prefix, 0, out);
}

void Term(const QueryNode& term, std::string& out)
{
    if (term.field && term.field->kind != FieldKind::text)
        return Marked(term.field->kind == FieldKind::tag ? TagMarker(term.tag) : FieldMarker(term.field->marker),
                      SplitWords(term.text), term.prefix, out);
    const std::vector<std::string> parts = SpacedParts(term.text);
    if (term.field || parts.size() < 2)
        return InRow(parts, term.prefix, term.field ? term.field->weight : 0, out);
    // Words in a row are in a text, or in one property, where each follows
    // the property's marker (as on SQLite, where a property is a column).
    out += '(';
    InRow(parts, term.prefix, 0, out);
    for (size_t i = 0; i < fieldCount; ++i) {
        if (fieldTable[i].kind == FieldKind::words && fieldTable[i].marker) {
            out += " | ";
            Marked(FieldMarker(fieldTable[i].marker), parts, term.prefix, out);
        }
    }
    out += ')';
}

const MatchSyntax tsquerySyntax = {" & ", " | ", " & !", Term};

}  // namespace

std::string TsqueryText(const QueryNode& node)
{
    return RenderQuery(node, tsquerySyntax);
}

std::vector<RankedTerm> TsqueryTerms(const QueryNode& node)
{
    std::vector<RankedTerm> terms;
    ForEachTerm(node, [&](const QueryNode& term, bool excluded) {
        RankedTerm& ranked = terms.emplace_back();
        Term(term, ranked.tsquery);
        ranked.classes = !term.field ? "ABCD" : std::string(1, term.field->weight);
        ranked.excluded = excluded;
        if (term.field && term.field->kind == FieldKind::number) {
            ranked.numberColumn = term.field->column;
            ranked.number = std::strtol(term.text.c_str(), nullptr, 10);
        }
    });
    return terms;
}

}  // namespace host::index
