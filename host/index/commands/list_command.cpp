// trellan list: the artists, albums, genres, years or composers of the
// indexed files, or of the files a query finds, each with its number of
// files.
#include "cli/commands.h"
#include "cli/options.h"
#include "index/run/entry.h"
#include "index/commands/index_reading.h"
#include "index/query/query_parser.h"
#include "text/text_conversion.h"
#include "text/text_escape.h"

#include <cstdio>

namespace host {
namespace {

using namespace index;

const OptionRow listOptions[] = {
    databaseOption,
    {"--json", 0, nullptr, "print one JSON object a value: value, files, and for albums artist and year"},
};

struct KindRow {
    const char16_t* name;
    ListKind kind;
};
const KindRow kindTable[] = {
    {u"artists", ListKind::artists}, {u"albums", ListKind::albums},       {u"genres", ListKind::genres},
    {u"years", ListKind::years},     {u"composers", ListKind::composers},
};

void AppendValue(std::string& out, const ListedValue& value, ListKind kind, bool json)
{
    if (json) {
        // A year is a number, as search --json gives it.
        const bool number = kind == ListKind::years && !value.value.empty() &&
                            value.value.find_first_not_of("0123456789") == std::string::npos;
        const std::string listed = number ? value.value : JsonString(FromUtf8(value.value));
        out += "{\"value\": " + listed + ", \"files\": " + std::to_string(value.files);
        if (kind == ListKind::albums)
            out += ", \"artist\": " + JsonString(FromUtf8(value.artist)) +
                   ", \"year\": " + (value.year ? std::to_string(value.year) : std::string("null"));
        out += "}\n";
        return;
    }
    char count[24];
    std::snprintf(count, sizeof count, "%6lld  ", static_cast<long long>(value.files));
    std::u16string line = FromUtf8(value.value);
    if (kind == ListKind::albums) {
        if (!value.artist.empty())
            line += u" \u2014 " + FromUtf8(value.artist);  // an em dash
        if (value.year)
            line += u" (" + FromUtf8(std::to_string(value.year)) + u")";
    }
    out += count;
    AppendEscaped(out, line, Escaping::terminal);
    out += '\n';
}

}  // namespace

const CommandSyntax listSyntax = {
    "list", "artists|albums|genres|years|composers [QUERY...]",
    "Lists each artist, album (with its album artist, else its artist, and its year), genre, year or\n"
    "composer of the indexed files, or of the files QUERY finds (as trellan search reads it), with the\n"
    "number of its files, sorted. Exit status: 0 when something is listed, 1 when nothing is, 2 for a usage\n"
    "error, 3 when the index cannot be read.",
    listOptions, sizeof listOptions / sizeof listOptions[0], 1, SIZE_MAX, true};

int RunList(const ParsedArguments& parsed)
{
    const Arguments& operands = parsed.Operands();
    const KindRow* kind = nullptr;
    for (const KindRow& row : kindTable)
        if (operands[0] == row.name)
            kind = &row;
    if (!kind) {
        std::fprintf(stderr, "trellan list: lists artists, albums, genres, years or composers, not '%s'\n",
                     ToUtf8(operands[0]).c_str());
        return exitUsage;
    }
    std::u16string query;
    for (size_t i = 1; i < operands.size(); ++i)
        query += (query.empty() ? u"" : u" ") + operands[i];
    Query parsedQuery;
    QueryError malformed;
    if (!query.empty() && !ParseQuery(QueryBytes(query), parsedQuery, malformed))
        return SayMalformedQuery("list", query, malformed.Message());
    int exitCode = exitSuccess;
    std::unique_ptr<IndexDatabase> database = OpenForReading(parsed, "list", exitCode);
    if (!database)
        return exitCode;
    std::vector<ListedValue> values;
    if (const Outcome listed = database->List(kind->kind, query.empty() ? nullptr : &parsedQuery, values); !listed)
        return SayIndexFailure("list", *database, listed);
    std::string out;
    for (const ListedValue& value : values)
        AppendValue(out, value, kind->kind, parsed.Has("--json"));
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (values.empty()) {
        std::fprintf(stderr, "trellan list: no %s\n", ToUtf8(kind->name).c_str());
        return exitFailure;
    }
    return exitSuccess;
}

}  // namespace host
