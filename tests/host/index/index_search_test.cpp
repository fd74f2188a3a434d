// Queries against a small index, on each back end: case and diacritics,
// stems, field and place filters, ranking, snippets, malformed queries.
#include "index_fixture.h"

namespace trellan::test {
namespace {

using namespace host::index;

class IndexSearch : public IndexFixture {
protected:
    void SetUp() override
    {
        IndexFixture::SetUp();
        if (IsSkipped())
            return;
        StoreAll({
            TextEntry("/lib/cafe", "Café Society", "Zoë Brontë", "Recorded at the Ångström hall",
                      "Café Society\nZoë Brontë\nRecorded at the Ångström hall\nJazz"),
            TextEntry("/lib/harbour", "Harbour Lights", "Mira Okonkwo", "", "Harbour Lights\nMira Okonkwo\n2019"),
            TextEntry("/lib/tribute", "Evening Songs", "Various", "An Okonkwo tribute",
                      "Evening Songs\nVarious\nAn Okonkwo tribute\nrecorded by the harbour at dusk"),
            TextEntry("/lib/strasse", "STRASSE DER NACHT", "Jürgen Müller", "", "STRASSE DER NACHT\nJürgen Müller"),
            TextEntry("/lib/moscow", "Москва", "Ирина", "", "Москва\nИрина"),
            TextEntry("/lib/dusk", "Nocturne", "Dusk Ensemble", "", "Nocturne\nDusk Ensemble"),
            TextEntry("/lib/sub/light.MP3", "The Light", "", "", "The Light"),
            TextEntry("/lib/sub/deep/runner.wma", "Runners", "", "", "running and runners"),
            TextEntry("/lib/latin\xE9/caf\xE9.asf", "Latin Name", "", "", "Latin Name"),  // not UTF-8
        });
    }
};

using Paths = std::vector<std::string>;

TEST_P(IndexSearch, MatchesWithoutRegardToCaseOrDiacritics)
{
    struct Case {
        const char* query;
        Paths found;  // in rank order
    } cases[] = {
        {"cafe", {"cafe"}},
        {"CAFÉ", {"cafe"}},
        {"Cafè", {"cafe"}},
        {"zoe bronte", {"cafe"}},
        {"ANGSTROM", {"cafe"}},
        {"muller", {"strasse"}},
        {"MÜLLER", {"strasse"}},
        {"strasse nacht", {"strasse"}},
        {"МОСКВА", {"moscow"}},
        {"ирина", {"moscow"}},
        {"jazz", {"cafe"}},
        {"nowhere", {}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(Found(test.query), test.found) << test.query;
}

TEST_P(IndexSearch, FiltersByColumnAndRanksTitleAboveAuthorAboveBody)
{
    struct Case {
        const char* query;
        Paths found;
    } cases[] = {
        {"title:harbour", {"harbour"}},
        {"author:\"mira okonkwo\"", {"harbour"}},
        {"author:okonkwo", {"harbour"}},
        {"comments:okonkwo", {"tribute"}},
        {"harbour", {"harbour", "tribute"}},  // title before body
        {"dusk", {"dusk", "tribute"}},        // author before body
        {"okonkwo", {"harbour", "tribute"}},  // author and comments weigh alike; the shorter text wins
        {"harbour NOT lights", {"tribute"}},
        {"harbour -lights", {"tribute"}},
        {"okonkwo -title:harbour", {"tribute"}},
        {"\"mira okonkwo\" OR nocturne", {"dusk", "harbour"}},
        {"noct*", {"dusk"}},
        // Stems: other forms of a word match, the exact word first.
        {"light", {"light.MP3", "harbour"}},
        {"lights", {"harbour", "light.MP3"}},
        {"run", {"runner.wma"}},
        {"title:(lights OR runners) NOT harbour", {"runner.wma", "light.MP3"}},
        // Where the file is.
        {"light ext:mp3", {"light.MP3"}},
        {"ext:wma ext:.MP3", {"runner.wma", "light.MP3"}},  // place alone: in path order
        {"dir:/lib/sub", {"runner.wma", "light.MP3"}},
        {"dir:/lib/sub/ light", {"light.MP3"}},
        {"dir:/li", {}},
        {"path:/lib/harbour lights", {"harbour"}},
        {"harbour path:/lib/cafe", {}},
        {"path:/lib/latin\xE9/caf\xE9.asf", {"caf\xE9.asf"}},
        {"latin dir:/lib/latin\xE9", {"caf\xE9.asf"}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(Found(test.query), test.found) << test.query;
}

TEST_P(IndexSearch, MarksTheMatchAndRefusesMalformedQueries)
{
    std::vector<SearchHit> hits;
    std::string error;
    ASSERT_EQ(Search(*database, "cafe", 10, {"<", ">"}, hits, error), SearchStatus::found) << error;
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].title, "Café Society");
    EXPECT_EQ(hits[0].author, "Zoë Brontë");
    EXPECT_NE(hits[0].snippet.find("<Café>"), std::string::npos) << hits[0].snippet;

    // The limit, what it cut, and the orders: ties go by path.
    struct Case {
        const char* query;
        std::int64_t limit;
        SearchOrder order;
        Paths found;
        std::int64_t total;
    } cases[] = {
        {"harbour OR okonkwo OR cafe", 1, SearchOrder::rank, {"/lib/harbour"}, 3},
        {"harbour OR okonkwo OR cafe", 0, SearchOrder::path, {"/lib/cafe", "/lib/harbour", "/lib/tribute"}, 3},
        {"okonkwo OR harbour", 0, SearchOrder::title, {"/lib/tribute", "/lib/harbour"}, 2},
        {"okonkwo OR harbour", 1, SearchOrder::artist, {"/lib/harbour"}, 2},
        {"ext:wma ext:mp3", 5, SearchOrder::modified, {"/lib/sub/deep/runner.wma", "/lib/sub/light.MP3"}, 2},
    };
    for (const Case& test : cases) {
        hits.clear();
        std::int64_t total = -1;
        ASSERT_EQ(Search(*database, test.query, test.limit, {}, hits, error, test.order, &total), SearchStatus::found)
            << error;
        Paths found;
        for (const SearchHit& hit : hits)
            found.push_back(hit.path);
        EXPECT_EQ(found, test.found) << test.query;
        EXPECT_EQ(total, test.total) << test.query;
    }

    for (const char* query : {"\"unclosed", "genre:jazz", "AND", "a NEAR(", "a OR", "NOT a", "x OR ext:mp3", "()", "-harbour"}) {
        error.clear();
        EXPECT_EQ(Search(*database, query, 10, {}, hits, error), SearchStatus::badQuery) << query;
        EXPECT_FALSE(error.empty()) << query;
    }
}

TRELLAN_INDEX_BACKENDS(IndexSearch);

}  // namespace
}  // namespace trellan::test
