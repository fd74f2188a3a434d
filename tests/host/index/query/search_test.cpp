// Queries against a small index, on each back end: case and diacritics,
// stems, field and place filters, media properties, scripts without spaces,
// ranking, sorts, listings, snippets, the deepest query.
#include "host/index/index_fixture.h"

#include "index/query/query_parser.h"
#include "index/sqlite/sqlite_index.h"

namespace trellan::test {
namespace {

using namespace host::index;

// The small library every test searches.
std::vector<IndexEntry> Library()
{
    return {
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
        MediaEntry("/lib/meridian/02 tidewater.mp3", "Tidewater", "Kwame Asante",
                   {"Salt Meridian", "Kwame Asante", "Highlife", "Efua Mensah", 2003, 2, 1, 0, "mood\twistful\n"}),
        MediaEntry("/lib/meridian/01 opening.mp3", "Opening", "Guest Voice",
                   {"Salt Meridian", "Kwame Asante", "Highlife", "", 2003, 1, 1, 0, ""}),
        MediaEntry("/lib/meridian/00 coda.mp3", "Coda", "Kwame Asante",
                   {"Salt Meridian", "Kwame Asante", "Highlife", "", 2003, 1, 2, 0, ""}),
        MediaEntry("/lib/tokyo/night.mp3", "東京タワー", "山下",
                   {"夜景", "", "City Pop", "", 1997, 3, 0, 0, "conductor\t小澤\n"}),
        TextEntry("/lib/untagged/track01.mp3", ""),
    };
}

class IndexSearch : public IndexFixture {
protected:
    void SetUp() override
    {
        IndexFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        StoreAll(Library());
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
        // Letters that accent removal keeps, typed as people type them.
        {"sigurdardottir nordurljos", {"aurora"}},
        {"orsted", {"aurora"}},
        {"Þórr straße", {"aurora"}},
        {"thorr strasse", {"aurora"}},
        // Greek without its accents, Russian without ё, on both.
        {"αθηνα", {"athens"}},
        {"ΑΘΗΝΑ ελατο", {"athens"}},
        {"елка", {"yolka"}},
        {"ЁЛКА", {"yolka"}},
        // One English stemmer (Snowball's) and no stop words on both.
        {"lie sky", {"skies"}},
        {"the light", {"light.MP3"}},
    };
    StoreAll({TextEntry("/lib/aurora", "Norðurljós", "Sigurðardóttir", "Ørsted Straße",
                        "Norðurljós\nSigurðardóttir\nØrsted Straße\nÞórr"),
              TextEntry("/lib/skies", "Lying Under Skies", "", "", "Lying Under Skies"),
              TextEntry("/lib/athens", "Αθήνα", "Έλατο", "", "Αθήνα Έλατο"),
              TextEntry("/lib/yolka", "Ёлка", "", "", "Ёлка")});
    // Texts whose vectors the host folded are no damage.
    const Outcome checked = database->CheckIntegrity();
    EXPECT_TRUE(checked) << checked;
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
        {"okonkwo", {"harbour", "tribute"}},  // author and comments weigh alike: a tie, by path
        {"harbour NOT lights", {"tribute"}},
        {"harbour -lights", {"tribute"}},
        {"okonkwo -title:harbour", {"tribute"}},
        {"\"mira okonkwo\" OR nocturne", {"dusk", "harbour"}},
        {"\"mira okonkwo\" or nocturne", {"dusk", "harbour"}},  // or between terms, as typed
        {"noct*", {"dusk"}},
        // Stems: other forms of a word match, the exact word first.
        {"light", {"light.MP3", "harbour"}},
        {"lights", {"harbour", "light.MP3"}},
        {"run", {"runner.wma"}},
        {"title:(lights OR runners) NOT harbour", {"runner.wma", "light.MP3"}},
        // Where the file is.
        {"light ext:mp3", {"light.MP3"}},
        {"ext:wma ext:.MP3 dir:/lib/sub", {"runner.wma", "light.MP3"}},  // place alone: in path order
        {"dir:/lib/sub", {"runner.wma", "light.MP3"}},
        {"dir:/lib/sub/ light", {"light.MP3"}},
        {"dir:/li", {}},
        {"path:/lib/harbour lights", {"harbour"}},
        {"harbour path:/lib/cafe", {}},
        {"path:/lib/latin\xE9/caf\xE9.asf", {"caf\xE9.asf"}},
        {"latin dir:/lib/latin\xE9", {"caf\xE9.asf"}},
        {"dir:~/sub", {"runner.wma", "light.MP3"}},  // ~ as HOME, set to /lib below
    };
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/lib", 1);
    for (const Case& test : cases)
        EXPECT_EQ(Found(test.query), test.found) << test.query;
    setenv("HOME", home.c_str(), 1);
}

TEST_P(IndexSearch, FindsMediaByItsPropertiesTagsNamesAndWordsWithoutSpaces)
{
    struct Case {
        const char* query;
        Paths found;  // in path order
    } cases[] = {
        {"album:\"salt meridian\"", {"00 coda.mp3", "01 opening.mp3", "02 tidewater.mp3"}},
        {"album:meridian year:2003 -coda", {"01 opening.mp3", "02 tidewater.mp3"}},
        {"albumartist:asante", {"00 coda.mp3", "01 opening.mp3", "02 tidewater.mp3"}},
        {"artist:asante", {"00 coda.mp3", "02 tidewater.mp3"}},
        {"genre:highlife track:1", {"00 coda.mp3", "01 opening.mp3"}},
        {"composer:mensah", {"02 tidewater.mp3"}},
        {"year:1995..1999", {"night.mp3"}},
        {"year:1997 OR album:salt", {"00 coda.mp3", "01 opening.mp3", "02 tidewater.mp3", "night.mp3"}},
        {"tag:mood:wistful", {"02 tidewater.mp3"}},
        {"tag:MOOD:wist*", {"02 tidewater.mp3"}},
        {"tag:conductor:小澤", {"night.mp3"}},
        {"wistful", {"02 tidewater.mp3"}},  // other tags by plain words too
        {"track01", {"track01.mp3"}},       // the file's name
        {"name:track01", {"track01.mp3"}},
        {"name:meridian", {}},  // a folder is no file's name
        {"tidewater", {"02 tidewater.mp3"}},
        // A word inside a run written without spaces.
        {"東京", {"night.mp3"}},
        {"タワー", {"night.mp3"}},
        {"東京タワー", {"night.mp3"}},
        {"京都", {}},
        {"album:夜景", {"night.mp3"}},
        // A word of one character, and a prefix at a run's end.
        {"夜", {"night.mp3"}},
        {"景*", {"night.mp3"}},
        {"album:夜", {"night.mp3"}},
        {"tag:conductor:澤", {"night.mp3"}},
        {"disc:2", {"00 coda.mp3"}},
        {"disc:1..2 track:2", {"02 tidewater.mp3"}},
    };
    for (const Case& test : cases) {
        std::vector<SearchHit> hits;
        Outcome error;
        ASSERT_EQ(Find(Searched(), test.query, 0, {}, hits, error, SearchOrder::path), SearchStatus::found)
            << test.query << ": " << error;
        Paths found;
        for (const SearchHit& hit : hits)
            found.push_back(hit.path.substr(hit.path.rfind('/') + 1));
        EXPECT_EQ(found, test.found) << test.query;
    }

    // Each distinct value with its number of files, over all or a query's.
    struct ListCase {
        ListKind kind;
        const char* query;
        std::vector<std::string> listed;  // value, files, and for albums artist and year
    } lists[] = {
        {ListKind::albums, nullptr, {"Salt Meridian 3 Kwame Asante 2003", "夜景 1 山下 1997"}},
        {ListKind::artists, "album:meridian", {"Guest Voice 1  0", "Kwame Asante 2  0"}},
        {ListKind::genres, "year:2003", {"Highlife 3  0"}},
        {ListKind::years, nullptr, {"1997 1  1997", "2003 3  2003"}},
        {ListKind::composers, nullptr, {"Efua Mensah 1  0"}},
    };
    for (const ListCase& test : lists) {
        Query query;
        QueryError malformed;
        ASSERT_TRUE(!test.query || ParseQuery(test.query, query, malformed)) << malformed.Message();
        std::vector<ListedValue> values;
        const Outcome read = Searched().List(test.kind, test.query ? &query : nullptr, values);
        ASSERT_TRUE(read) << read;
        std::vector<std::string> listed;
        for (const ListedValue& value : values)
            listed.push_back(value.value + " " + std::to_string(value.files) + " " + value.artist + " " +
                             std::to_string(value.year));
        EXPECT_EQ(listed, test.listed) << (test.query ? test.query : "all");
    }
}

TEST_P(IndexSearch, MarksTheMatchSortsByFoldedNamesAndRefusesMalformedQueries)
{
    std::vector<SearchHit> hits;
    Outcome error;
    ASSERT_EQ(Find(Searched(), "cafe", 10, {"<", ">"}, hits, error), SearchStatus::found) << error;
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].title, "Café Society");
    EXPECT_EQ(hits[0].author, "Zoë Brontë");
    EXPECT_NE(hits[0].snippet.find("<Café>"), std::string::npos) << hits[0].snippet;
    StoreAll({TextEntry("/lib/apres", "Àpres Minuit"), TextEntry("/lib/orsted", "Ørsted"),
              TextEntry("/lib/zappa", "Zappa")});

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
        // Names sort by their folded keys: Àpres among the A's, Ørsted among the O's.
        {"minuit OR zappa OR orsted OR nocturne", 0, SearchOrder::title,
         {"/lib/apres", "/lib/dusk", "/lib/orsted", "/lib/zappa"}, 4},
        {"ext:wma ext:mp3 dir:/lib/sub", 5, SearchOrder::modified, {"/lib/sub/deep/runner.wma", "/lib/sub/light.MP3"}, 2},
        {"album:meridian", 0, SearchOrder::album,
         {"/lib/meridian/01 opening.mp3", "/lib/meridian/02 tidewater.mp3", "/lib/meridian/00 coda.mp3"}, 3},
        {"year:1997 OR album:meridian OR harbour", 0, SearchOrder::year,
         {"/lib/tokyo/night.mp3", "/lib/meridian/01 opening.mp3", "/lib/meridian/02 tidewater.mp3",
          "/lib/meridian/00 coda.mp3", "/lib/harbour", "/lib/tribute"}, 6},
    };
    for (const Case& test : cases) {
        hits.clear();
        std::int64_t total = -1;
        ASSERT_EQ(Find(Searched(), test.query, test.limit, {}, hits, error, test.order, &total), SearchStatus::found)
            << error;
        Paths found;
        for (const SearchHit& hit : hits)
            found.push_back(hit.path);
        EXPECT_EQ(found, test.found) << test.query;
        EXPECT_EQ(total, test.total) << test.query;
    }

    // A malformed query is the parser's to refuse; the deepest it takes,
    // each level another operator, each back end's own parser takes too.
    EXPECT_EQ(Find(Searched(), "\"unclosed", 10, {}, hits, error), SearchStatus::badQuery);
    EXPECT_NE(error.message.find("not closed"), std::string::npos) << error;
    std::string deepest = "harbour";
    const char* const joints[] = {" OR ", " ", " NOT ", " -", " AND "};
    for (int depth = 0; depth < kDeepestQuery; ++depth)
        deepest = depth % 2 ? "title:" + deepest : std::string("lights") + joints[depth / 2 % 5] + "(" + deepest + ")";
    hits.clear();
    EXPECT_EQ(Find(Searched(), deepest, 10, {}, hits, error), SearchStatus::found) << deepest << ": " << error;
}

// The same library's queries give the same first pages, ranks and all, on
// PostgreSQL as on SQLite: one ranking; and each first page is the first
// of every match ranked. Its words are drawn from a few, some far more
// often than others, so that terms weigh apart, in every field, and in a
// row across two texts (the last folder's name, then the body: never found
// as a phrase).
TEST_P(IndexSearch, RanksAsTheSqliteIndexDoes)
{
    const char* const words[] = {"sopoda", "sike", "lire", "datakega", "feda", "vava", "Москва", "ünel"};
    std::uint32_t seed = 7;
    auto some = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245 + 12345;
            const double draw = double(seed >> 8) / double(1 << 24);
            text += (i ? " " : "") + std::string(words[int(8 * draw * draw * draw)]);
        }
        return text;
    };
    std::vector<IndexEntry> library = Library();
    for (int i = 0; i < 700; ++i) {  // enough that the commonest words match more than a ranked page reads first
        const std::string title = some(1 + i % 3), author = some(1 + i % 2), comments = some(i % 5);
        IndexEntry entry = MediaEntry("/zipf/" + some(1) + "/" + std::to_string(i) + "/a.mp3", title, author,
                                      {some(2), "", i % 4 ? "Pop" : "Jazz", "", 1990 + i % 7, 1 + i % 9, 1, 0, ""});
        entry.comments = comments;
        entry.body = title + "\n" + author + "\n" + comments;
        library.push_back(entry);
    }
    // A file whose body lifts it above ten that score more in the title,
    // author and comments.
    for (int i = 0; i < 10; ++i)
        library.push_back(TextEntry("/q/" + std::to_string(i), "Quill Quill Quill"));
    library.push_back(TextEntry("/q/body", "Quill", "Quill", "", "quill quill quill quill quill"));
    StoreAll(std::vector<IndexEntry>(library.begin() + Library().size(), library.end()));
    std::string error;
    auto sqlite = OpenIndex(folder.PathOf("same.sqlite"), IndexUse::run, error);
    ASSERT_TRUE(sqlite) << error;
    {
        Transaction transaction(*sqlite);
        for (const IndexEntry& entry : library) {
            const Outcome stored = sqlite->Store(entry, 0);
            ASSERT_TRUE(stored) << stored;
        }
        ASSERT_TRUE(transaction.Commit());
    }
    const char* const queries[] = {
        "sopoda", "vava", "sike lire", "lire OR datakega", "\"sopoda sike\"", "\"sike sopoda\"", "feda*",
        "title:sike", "sike -lire", "album:vava", "москва datakega", "genre:jazz sike", "year:1992..1994 lire",
        "(feda OR vava) -sopoda", "dir:/zipf/sike lire", "ünel", "Sopoda", "москва", "runners", "quill",
    };
    // Each page as every match ranked gives it: walked, then read from the
    // one-word queries' leads (whatever their count); then again once files
    // were changed and removed, their leads and counts gone with their texts.
    const auto pagesAsRanked = [&](IndexDatabase& index, const char* when) {
        for (const char* query : queries) {
            Outcome error;
            std::vector<SearchHit> wanted, found, all;
            std::int64_t total = -1;
            ASSERT_EQ(Find(*sqlite, query, 10, {}, wanted, error, SearchOrder::rank, &total), SearchStatus::found)
                << query << ": " << error;
            ASSERT_EQ(Find(index, query, 10, {}, found, error), SearchStatus::found) << query << ": " << error;
            ASSERT_EQ(Find(index, query, 0, {}, all, error), SearchStatus::found) << query << ": " << error;
            EXPECT_FALSE(wanted.empty()) << query;
            ASSERT_EQ(found.size(), wanted.size()) << query;
            ASSERT_GE(all.size(), found.size()) << query;
            if (&index == sqlite.get()) {
                EXPECT_EQ(total, std::int64_t(all.size())) << query << when;
            }
            for (size_t i = 0; i < wanted.size(); ++i) {
                EXPECT_EQ(found[i].path, all[i].path) << query << when << ", hit " << i << " of every match";
                EXPECT_EQ(found[i].path, wanted[i].path) << query << when << ", hit " << i;
                EXPECT_DOUBLE_EQ(found[i].rank, wanted[i].rank) << query << when << ", hit " << i;
                EXPECT_DOUBLE_EQ(all[i].rank, wanted[i].rank) << query << when << ", hit " << i;
            }
        }
    };
    pagesAsRanked(Searched(), "");
    SetLeadingLimits(1, 1);
    pagesAsRanked(Searched(), " (leads)");
    {
        Transaction transaction(*sqlite);
        for (std::int64_t id = 30; id < 600; id += 3) {
            const Outcome removed = sqlite->Remove(id);
            ASSERT_TRUE(removed) << removed;
            IndexEntry changed = library[size_t(id)];
            changed.title = some(2), changed.comments = "";
            const Outcome stored = sqlite->Store(changed, id + 1);
            ASSERT_TRUE(stored) << stored;
        }
        ASSERT_TRUE(transaction.Commit());
    }
    pagesAsRanked(*sqlite, " (leads, changed)");
    SetLeadingLimits(4096, 64);
    EXPECT_EQ(MiscountedTerms(folder.PathOf("same.sqlite")), 0);
    if (!IsPostgres()) {
        EXPECT_EQ(MiscountedTerms(DatabasePath()), 0);
    }
}

// More files that rank alike than a search joins to their paths: the
// first of them by path all the same, where a folder's files and those of
// a folder below it, and of a folder whose name it begins, interleave;
// and when they lie far apart among files that do not match.
TEST_P(IndexSearch, ManyFilesThatTieComeInTheOrderOfTheirPaths)
{
    std::vector<host::index::IndexEntry> entries;
    Paths paths;
    for (int i = 0; i < 1100; ++i) {
        const std::string place = i < 2 ? "/t/a-b/k" : i < 5 ? "/t/a/l" : i < 600 ? "/t/a/n" : "/t/a/m/o";
        paths.push_back(place + std::to_string(i) + ".mp3");
        entries.push_back(TextEntry(paths.back(), "Tied Song", "", "", "Tied Song"));
    }
    StoreAll(entries);
    std::sort(paths.begin(), paths.end());
    // Then with more files before them that match nothing than the walk
    // reads for so many ties: each tie is joined to its path instead.
    for (const bool farApart : {false, true}) {
        if (farApart) {
            std::vector<host::index::IndexEntry> others;
            for (int i = 0; i < 4500; ++i)
                others.push_back(TextEntry("/t/0/x" + std::to_string(i) + ".mp3", "Other", "", "", "Other"));
            StoreAll(others);
        }
        for (const std::int64_t limit : {1, 7, 40, 0}) {  // 0: all, their snippets made in parts
            std::vector<SearchHit> hits;
            Outcome error;
            std::int64_t total = -1;
            ASSERT_EQ(Find(Searched(), "tied", limit, {}, hits, error, SearchOrder::rank, &total),
                      SearchStatus::found)
                << error;
            Paths found;
            for (const SearchHit& hit : hits) {
                found.push_back(hit.path);
                EXPECT_NE(hit.snippet.find("[Tied]"), std::string::npos) << hit.path << ": " << hit.snippet;
            }
            EXPECT_EQ(found, Paths(paths.begin(), paths.begin() + (limit ? limit : 1100)))
                << limit << (farApart ? " far apart" : "");
            EXPECT_EQ(total, 1100);
        }
    }
}

TRELLAN_SEARCH_BACKENDS(IndexSearch);

}  // namespace
}  // namespace trellan::test
