// trellan search: queries the index that trellan index keeps.
#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "index/entry.h"
#include "index/query/search.h"
#include "cli/options.h"
#include "text/text_escape.h"

#include <cstdio>

namespace host {
namespace {

using namespace index;

const OptionRow searchOptions[] = {
    {"--db", 0, "INDEX", "the index: a SQLite file, or a PostgreSQL connection string or URI "
                         "(default: ${XDG_DATA_HOME:-~/.local/share}/trellan/index.sqlite)"},
    {"--json", 0, nullptr, "print one JSON object a hit: path, title, author, snippet, rank"},
    {"--limit", 'n', "N", "print at most N hits (default 20; 0: every hit)"},
    {"--sort", 0, "KEY", "rank (the default), title, artist, path or modified (the newest first); ties by path"},
    {"--paths", 'l', nullptr, "print the paths of the hits alone, one a line"},
    {"--null", '0', nullptr, "print the paths of the hits alone, each followed by a NUL character (xargs -0)"},
};

struct SortRow {
    const char16_t* key;
    SearchOrder order;
};

const SortRow sortTable[] = {
    {u"rank", SearchOrder::rank}, {u"title", SearchOrder::title},       {u"artist", SearchOrder::artist},
    {u"path", SearchOrder::path}, {u"modified", SearchOrder::modified},
};

// The order --sort names; false, with the usage error said, for a key it
// does not know.
bool ReadSort(const ParsedArguments& parsed, SearchOrder& order)
{
    const std::u16string* key = parsed.Value("--sort");
    if (!key)
        return true;
    for (const SortRow& row : sortTable)
        if (*key == row.key) {
            order = row.order;
            return true;
        }
    std::fprintf(stderr, "trellan search: --sort takes rank, title, artist, path or modified, not '%s'\n",
                 ToUtf8(*key).c_str());
    return false;
}

constexpr unsigned long defaultLimit = 20;

// The snippet on one line: the body's lines joined by " / ".
std::u16string OneLine(std::string_view snippet)
{
    std::u16string text = FromUtf8(snippet);
    std::u16string line;
    for (char16_t unit : text) {
        if (unit == u'\n')
            line += u" / ";
        else
            line += unit;
    }
    return line;
}

void AppendHitText(std::string& out, const SearchHit& hit)
{
    AppendEscaped(out, PathFromListBytes(hit.path), Escaping::terminal);
    out += "\n  ";
    AppendEscaped(out, hit.title.empty() ? u"(no title)" : FromUtf8(hit.title), Escaping::terminal);
    if (!hit.author.empty()) {
        out += " \xE2\x80\x94 ";  // an em dash
        AppendEscaped(out, FromUtf8(hit.author), Escaping::terminal);
    }
    out += "\n  ";
    AppendEscaped(out, OneLine(hit.snippet), Escaping::terminal);
    out += "\n";
}

// A path on a line of its own: as its bytes for the programs it is piped
// to (as grep -l does), with control characters escaped on a terminal.
void AppendPathLine(std::string& out, const std::string& path, bool terminal)
{
    if (terminal)
        AppendEscaped(out, PathFromListBytes(path), Escaping::terminal);
    else
        out += path;
    out += '\n';
}

void AppendHitJson(std::string& out, const SearchHit& hit)
{
    char rank[32];
    std::snprintf(rank, sizeof rank, "%.6g", hit.rank);
    out += "{\"path\": " + JsonString(PathFromListBytes(hit.path)) + ", \"title\": " + JsonString(FromUtf8(hit.title)) +
           ", \"author\": " + JsonString(FromUtf8(hit.author)) + ", \"snippet\": " + JsonString(FromUtf8(hit.snippet)) +
           ", \"rank\": " + rank + "}\n";
}

}  // namespace

const CommandSyntax searchSyntax = {
    "search", "QUERY...",
    "Searches the index for files whose title, author, comments or text match QUERY, best first: exact words\n"
    "above other forms of the same English stem ('light' finds 'Lights'), then the title above the author and\n"
    "comments, and those above the text. Words match without regard to case or accents ('cafe' finds 'Café').\n"
    "Syntax: words (all must match), \"a phrase\", OR, AND, NOT, (brackets), prefix*, fields: title:harbour,\n"
    "author:\"mira okonkwo\", comments:live, body:2019, -word (without it), and where the file is: path:FILE,\n"
    "dir:FOLDER (and\n"
    "everything under it), ext:mp3 (several of one kind are alternatives). QUERY words are joined by spaces.\n"
    "Each hit prints its path, title and author, and a snippet with the matches [marked]. Exit status: 0\n"
    "when a file matches, 1 when none does.",
    searchOptions, sizeof searchOptions / sizeof searchOptions[0], 1, SIZE_MAX, true};

int RunSearch(const ParsedArguments& parsed)
{
    unsigned long limit = defaultLimit;
    SearchOrder order = SearchOrder::rank;
    if (!ReadNumberOption(parsed, "search", "--limit", 1000000, limit, 0) || !ReadSort(parsed, order))
        return exitUsage;
    if (parsed.Has("--json") + parsed.Has("--paths") + parsed.Has("--null") > 1) {
        std::fprintf(stderr, "trellan search: --json, --paths and --null print in different ways: give one\n");
        return exitUsage;
    }
    std::u16string query;
    for (const std::u16string& word : parsed.Operands())
        query += (query.empty() ? u"" : u" ") + word;

    std::string path;
    if (!IndexLocation(parsed, "search", path))
        return exitUsage;
    std::string error;
    std::unique_ptr<IndexDatabase> database = OpenIndex(path, false, error);
    if (!database) {
        std::fprintf(stderr, "trellan search: %s\n", error.c_str());
        return exitIndexFailed;
    }
    std::vector<SearchHit> hits;
    std::int64_t total = 0;
    switch (Search(*database, PathBytes(query), static_cast<std::int64_t>(limit), {}, hits, error, order, &total)) {
    case SearchStatus::found:
        break;
    case SearchStatus::badQuery:
        std::fprintf(stderr, "trellan search: the query %s is not valid: %s\n", JsonString(query).c_str(),
                     error.c_str());
        return exitUsage;
    case SearchStatus::failed:
        std::fprintf(stderr, "trellan search: cannot read the index %s: %s\n", database->Name().c_str(),
                     IndexProblem(*database, error).c_str());
        return exitIndexFailed;
    }
    const bool terminal = IsTerminal(STD_OUTPUT_HANDLE);
    std::string out;
    for (const SearchHit& hit : hits) {
        if (parsed.Has("--json"))
            AppendHitJson(out, hit);
        else if (parsed.Has("--null"))
            out.append(hit.path).push_back('\0');  // the name's own bytes, for xargs -0
        else if (parsed.Has("--paths"))
            AppendPathLine(out, hit.path, terminal);
        else
            AppendHitText(out, hit);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (hits.empty()) {
        std::fprintf(stderr, "trellan search: no file matches %s\n", JsonString(query).c_str());
        return exitFailure;  // as grep: a script tells a hit from none
    }
    if (total > static_cast<std::int64_t>(hits.size()))
        std::fprintf(stderr, "trellan search: %zu of %lld files (-n 0 for all)\n", hits.size(),
                     static_cast<long long>(total));
    return exitSuccess;
}

}  // namespace host
