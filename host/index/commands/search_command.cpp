// trellan search: queries the index that trellan index keeps.
#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "index/run/entry.h"
#include "index/commands/hit_output.h"
#include "index/commands/index_reading.h"
#include "index/query/query_parser.h"
#include "index/query/search.h"
#include "cli/options.h"
#include "text/text_escape.h"

#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

using namespace index;

const OptionRow searchOptions[] = {
    databaseOption,
    {"--json", 0, nullptr, "print one JSON object a hit: path, title, author, album, albumartist, genre, composer, "
                           "year, track, disc, duration (seconds), snippet, rank"},
    {"--limit", 'n', "N", "print at most N hits (default 20, and every hit with --json, -l or -0; 0: every hit)"},
    {"--sort", 0, "KEY", "rank (the default), title, artist, album (album artist, album, disc, track), year, path "
                         "or modified (the newest first); ties by path"},
    {"--paths", 'l', nullptr, "print the paths of the hits alone, one a line"},
    {"--null", '0', nullptr, "print the paths of the hits alone, each followed by a NUL character (xargs -0)"},
    {"--format", 0, "TEMPLATE", "print each hit by TEMPLATE, with {path}, {name}, {title}, {author} (or {artist}), "
                                "{album}, {albumartist}, {genre}, {composer}, {year}, {track}, {disc}, {length}, "
                                "{snippet} and {rank}: '{artist} - {title} ({year})'; \\t a tab, \\n a new line"},
    {"--color", 0, "WHEN", "highlight the matches: auto (on a terminal, unless NO_COLOR is set), always or never"},
};

struct SortRow {
    const char16_t* key;
    SearchOrder order;
};

const SortRow sortTable[] = {
    {u"rank", SearchOrder::rank},   {u"title", SearchOrder::title}, {u"artist", SearchOrder::artist},
    {u"album", SearchOrder::album}, {u"year", SearchOrder::year},   {u"path", SearchOrder::path},
    {u"modified", SearchOrder::modified},
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
    std::fprintf(stderr, "trellan search: --sort takes rank, title, artist, album, year, path or modified, not '%s'\n",
                 ToUtf8(*key).c_str());
    return false;
}

constexpr unsigned long defaultLimit = 20;

// A template as printf and find -printf take it: \t a tab, \n a new line,
// \\ a backslash; any other backslash stays as it is.
std::u16string Unescaped(const std::u16string& format)
{
    std::u16string text;
    for (size_t i = 0; i < format.size(); ++i) {
        const char16_t next = i + 1 < format.size() ? format[i + 1] : u'\0';
        if (format[i] == u'\\' && (next == u't' || next == u'n' || next == u'\\')) {
            text += next == u't' ? u'\t' : next == u'n' ? u'\n' : u'\\';
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

// How hits are printed, from the options; false, with the usage error
// said, for a template or a --color that cannot be used.
bool ReadStyle(const ParsedArguments& parsed, HitStyle& style)
{
    // -l and -0 together are the paths, each followed by a NUL (as -0 alone).
    const int kinds = parsed.Has("--json") + (parsed.Has("--paths") || parsed.Has("--null")) + parsed.Has("--format");
    if (kinds > 1) {
        std::fprintf(stderr, "trellan search: --json, --paths or --null, and --format print in different ways: "
                             "give one\n");
        return false;
    }
    style.kind = parsed.Has("--json")    ? HitStyle::json
                 : parsed.Has("--null")  ? HitStyle::nul
                 : parsed.Has("--paths") ? HitStyle::paths
                 : parsed.Has("--format") ? HitStyle::formatted
                                          : HitStyle::text;
    style.terminal = IsTerminal(STD_OUTPUT_HANDLE);
    std::string error;
    if (const std::u16string* format = parsed.Value("--format")) {
        style.format = Unescaped(*format);
        if (!CheckFormat(style.format, error)) {
            std::fprintf(stderr, "trellan search: %s\n", error.c_str());
            return false;
        }
    }
    // Colour on a terminal unless NO_COLOR says otherwise (no-color.org).
    const std::u16string* when = parsed.Value("--color");
    const char* noColour = std::getenv("NO_COLOR");
    if (!when || *when == u"auto")
        style.colour = style.terminal && !(noColour && *noColour);
    else if (*when == u"always" || *when == u"never")
        style.colour = *when == u"always";
    else {
        std::fprintf(stderr, "trellan search: --color takes auto, always or never, not '%s'\n",
                     ToUtf8(*when).c_str());
        return false;
    }
    return true;
}

}  // namespace

const CommandSyntax searchSyntax = {
    "search", "QUERY...",
    "Searches the index for files whose title, author, comments, text, tags or names match QUERY, best first:\n"
    "exact words above other forms of the same English stem ('light' finds 'Lights'), then the title above\n"
    "the author and comments, those above the text, the text above other tags, and those above the names of\n"
    "the file and its folders. Words match without regard to case or accents ('cafe' finds 'Café'); Chinese,\n"
    "Japanese and Korean words are found inside longer runs ('東京' finds '東京タワー').\n"
    "Syntax: words (all must match), \"a phrase\", OR, AND, NOT, (brackets), prefix*, -word (without it),\n"
    "fields: title:harbour, author:\"mira okonkwo\" (or artist:), comments:live, body:2019, album:, albumartist:,\n"
    "genre:jazz, composer:, name:track01 (the file's name), year:2003, year:1995..1999, track:3, disc:2,\n"
    "tag:mood:wistful (any other tag, by its name without 'WM/'), and where the file is: path:FILE,\n"
    "dir:FOLDER (and everything under it), ext:mp3 (several of one kind are alternatives). QUERY words are\n"
    "joined by spaces. Each hit prints its path, title, artist, album, year and track, and a snippet with the\n"
    "matches [marked]. Exit status: 0 when a file matches, 1 when none does, 2 for a usage error, 3 when the\n"
    "index cannot be read.",
    searchOptions, sizeof searchOptions / sizeof searchOptions[0], 1, SIZE_MAX, true};

int RunSearch(const ParsedArguments& parsed)
{
    unsigned long limit = defaultLimit;
    SearchOrder order = SearchOrder::rank;
    HitStyle style;
    if (!ReadNumberOption(parsed, "search", "--limit", 1000000, limit, 0) || !ReadSort(parsed, order) ||
        !ReadStyle(parsed, style))
        return exitUsage;
    // Output for a program (paths, NUL-separated paths, JSON) is every hit
    // unless -n says otherwise: a pipe must not lose hits to a page meant
    // for people.
    const bool forProgram =
        style.kind == HitStyle::json || style.kind == HitStyle::paths || style.kind == HitStyle::nul;
    if (forProgram && !parsed.Has("--limit"))
        limit = 0;
    std::u16string query;
    for (const std::u16string& word : parsed.Operands())
        query += (query.empty() ? u"" : u" ") + word;

    int exitCode = exitSuccess;
    std::unique_ptr<IndexDatabase> database = OpenForReading(parsed, "search", exitCode);
    if (!database)
        return exitCode;
    std::vector<SearchHit> hits;
    std::int64_t total = 0;
    Outcome problem;
    const SearchStatus status = Find(*database, QueryBytes(query), static_cast<std::int64_t>(limit), HitMarks(),
                                       hits, problem, order, &total);
    if (status == SearchStatus::badQuery)
        return SayMalformedQuery("search", query, problem.message);
    if (status == SearchStatus::failed)
        return SayIndexFailure("search", *database, problem);
    std::string out;
    for (const SearchHit& hit : hits)
        AppendHit(out, hit, style);
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
