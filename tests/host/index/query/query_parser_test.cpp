// The query's parser, without a database: each text to its tree, or to the
// problem and the character where it was found.
#include "index/query/query_parser.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

using namespace host::index;

// The tree, or "! problem @character", and the place filters after " | ".
std::string Parsed(const std::string& text)
{
    Query query;
    QueryError error;
    if (!ParseQuery(text, query, error))
        return "! " + error.problem + " @" + std::to_string(error.at + 1);
    std::string out = query.HasWords() ? DescribeQuery(query.words) : "";
    for (const PlaceFilter& place : query.places)
        out += std::string(" | ") + "pde"[int(place.kind)] + place.value;
    return out;
}

std::string Nested(int depth)
{
    return std::string(depth, '(') + "a" + std::string(depth, ')');
}

TEST(QueryParser, ReadsEachQueryIntoItsTreeOrSaysWhereItIsMalformed)
{
    setenv("HOME", "/home/u", 1);
    struct Case {
        std::string text, tree;
    } cases[] = {
        // Terms, and how they join.
        {"harbour", "harbour"},
        {"harbour lights", "(and harbour lights)"},
        {"\"harbour lights\" noct*", "(and \"harbour lights\" noct*)"},
        {"a OR b or c", "(or a b c)"},
        {"a AND b", "(and a b)"},
        {"a b -c NOT d", "(and a b -c -d)"},
        {"a (b c) (d OR e)", "(and a b c (or d e))"},  // an all-of inside an all-of is one
        {"(a OR b) OR (c OR d)", "(or a b c d)"},
        {"a OR b c", "(or a (and b c))"},
        {"or lights", "(and or lights)"},  // "or" is a word but between two terms
        {"now or", "(and now or)"},
        {"a -(b OR c)", "(and a -(or b c))"},
        {"a AND NOT b OR c NOT d", "(or (and a -b) (and c -d))"},
        {"a !!! b", "(and a b)"},  // punctuation alone asks for nothing
        {"\"Café\"", "\"Café\""},
        // Fields.
        {"title:harbour AUTHOR:\"mira okonkwo\"", "(and title:harbour author:\"mira okonkwo\")"},
        {"artist:x", "artist:x"},
        {"title:(a OR b) -body:c", "(and (or title:a title:b) -body:c)"},
        {"tag:Mood:wist*", "tag:Mood:wist*"},
        {"year:2003 track:1..4", "(and year:2003 track:1..4)"},
        {"name:track01 genre:jazz", "(and name:track01 genre:jazz)"},
        // Where the file is, apart from the words.
        {"harbour ext:.MP3 dir:~/music/ path:\"/a b\"", "harbour | eMP3 | d/home/u/music | p/a b"},
        {"ext:wma", " | ewma"},
        // Malformed.
        {"\"unclosed", "! a '\"' is not closed @1"},
        {"mood:jazz", "! mood: is no field; the fields are " + FieldNameList() + " @1"},
        {"AND", "! AND needs a term before it @4"},
        {"a NEAR(", "! a '(' is not closed @8"},
        {"a OR", "! OR needs a term on each side @5"},
        {"NOT a", "! NOT needs a term before it @1"},
        {"x OR ext:mp3", "! ext: filters the whole query: put it beside the words, not under OR, NOT or a field @10"},
        {"()", "! empty brackets @3"},
        {"a)", "! unexpected ')' @2"},
        {"-harbour", "! '-' needs a term before it @1"},
        {"year:abc", "! year: takes a number or a range of them, as year:2003 or year:1995..1999 @6"},
        {"year:1..5000", "! year: a range of at most 1000 numbers @6"},
        {"track:9..1", "! track: takes a number or a range of them, as track:3 or track:1..4 @7"},
        {"tag:mood", "! tag: needs a name and a word: tag:NAME:word @5"},
        {"album:(a title:b)", "! a field inside another field @16"},
        {"\"  \"", "! an empty phrase @5"},
        {"!!!", "! there is nothing to search for @4"},
        {"dir:", "! a place filter needs a value @5"},
        // Depth: brackets and fields alike, refused before the stack is.
        {Nested(kDeepestQuery), "a"},
        {Nested(kDeepestQuery + 1), "! brackets and fields nest more than 20 deep @21"},
        {std::string(100000, '('), "! brackets and fields nest more than 20 deep @21"},
        {[] {
             std::string fields;
             for (int i = 0; i < 100000; ++i)
                 fields += "title:";
             return fields + "a";
         }(),
         "! brackets and fields nest more than 20 deep @127"},
    };
    for (const Case& test : cases)
        EXPECT_EQ(Parsed(test.text), test.tree) << test.text.substr(0, 80);
}

}  // namespace
}  // namespace trellan::test
