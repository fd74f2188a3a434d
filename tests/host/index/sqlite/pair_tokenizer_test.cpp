// The pair tokenizer in FTS5 tables, under porter as the index uses it: words found inside
// longer runs, Latin ranked as without it, snippets that mark the right characters. And the
// index's ranking: column weights, counts, rarity; the set of ids that marks exact matches.
#include "index/sqlite/pair_tokenizer.h"
#include "index/sqlite/ranking.h"

#include "sqlite_statement.h"
#include "text/cjk_pairs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace trellan::test {
namespace {

using platform::sqlite::Connection;
using platform::sqlite::Statement;

class PairTokenizer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(connection.Open(":memory:", true));
        ASSERT_TRUE(host::index::RegisterPairTokenizer(connection.Get()));
        ASSERT_TRUE(connection.Execute(
            "CREATE VIRTUAL TABLE paired USING fts5(title, "
            "    tokenize = 'porter trellan_pairs unicode61 remove_diacritics 2');"
            "CREATE VIRTUAL TABLE plain USING fts5(title, tokenize = 'porter unicode61 remove_diacritics 2');"));
        for (const char* table : {"paired", "plain"}) {
            Statement insert(connection, (std::string("INSERT INTO ") + table + " VALUES (?1)").c_str());
            for (const char* title : latinRows) ASSERT_TRUE(insert.BindText(1, title).Run());
        }
    }

    std::vector<std::string> Column(const std::string& sql, const char* query)
    {
        std::vector<std::string> values;
        Statement statement(connection, sql.c_str());
        statement.BindText(1, query);
        while (statement.Step() == SQLITE_ROW) values.emplace_back(statement.Text(0));
        EXPECT_TRUE(statement.Valid()) << connection.LastError();
        return values;
    }

    // Rows 1, 2 and 3 of each table.
    const char* const latinRows[3] = {"Harbour Lights at dusk", "Running and runners", "The harbour light"};
    Connection connection;
};

TEST_F(PairTokenizer, FindsWordsInsideRunsAndLeavesLatinRankingAlone)
{
    for (const char* query : {"harbour", "light", "runner*", "\"harbour light\""}) {
        // Full-text matches come in rowid order.
        const auto ranks = Column("SELECT rowid || ':' || bm25(paired) FROM paired WHERE paired MATCH ?1", query);
        EXPECT_FALSE(ranks.empty()) << query;
        EXPECT_EQ(ranks, Column("SELECT rowid || ':' || bm25(plain) FROM plain WHERE plain MATCH ?1", query)) << query;
    }
    ASSERT_TRUE(connection.Execute("INSERT INTO paired (rowid, title) VALUES (4, '東京タワーの夜'), "
                                   "(5, 'ABC東京ライブ'), (6, '대한민국 만세'), (7, '京'), (8, 'ははははは'), (9, 'ÉA東京'), "
                                   "(10, 'Sigurðardóttir'), (11, 'Ørsted Straße'), (12, 'Þórr ŒUVRE'), (13, 'Ørsted大阪')"));
    struct Case {
        const char* query;
        std::vector<std::string> snippets;  // in rowid order
    } cases[] = {
        {"東京", {"[東京]タワーの夜", "ABC[東京]ライブ", "ÉA[東京]"}},
        {"タワー", {"東京[タワー]の夜"}},
        {"\"東京タワー\"", {"[東京タワー]の夜"}},
        {"東京*", {"[東京]タワーの夜", "ABC[東京]ライブ", "ÉA[東京]"}},
        {"東京タ*", {"[東京タ]ワーの夜"}},
        {"京都", {}},
        {"京", {"東[京タ]ワーの夜", "ABC東[京ラ]イブ", "[京]", "ÉA[東京]"}},  // a character beside its pair
        {"夜*", {"東京タワー[の夜]"}},  // marked by the pair it stands beside
        {"민국", {"대한[민국] 만세"}},
        {"abc ライブ", {"[ABC]東京[ライブ]"}},
        {"lights", {"Harbour [Lights] at dusk", "The harbour [light]"}},
        {"ははは", {"[ははははは]"}},
        {"ea", {"[ÉA]東京"}},
        // Letters that accent removal keeps, typed without their marks; the
        // words marked as written.
        {"sigurdardottir", {"[Sigurðardóttir]"}},
        {"SIGURÐARDÓTTIR", {"[Sigurðardóttir]"}},
        {"orsted", {"[Ørsted] Straße", "[Ørsted]大阪"}},
        {"strasse", {"Ørsted [Straße]"}},
        {"thorr oeuvre", {"[Þórr] [ŒUVRE]"}},
        {"大阪", {"Ørsted[大阪]"}},
    };
    const char* const marked =
        "SELECT snippet(paired, 0, '[', ']', '…', 8) FROM paired WHERE paired MATCH ?1 ORDER BY rowid";
    for (const Case& test : cases) EXPECT_EQ(Column(marked, test.query), test.snippets) << test.query;
}

// Texts made of folded letters, pairs and broken sequences in any order:
// the index agrees with its texts, and every snippet marks its match.
TEST_F(PairTokenizer, FoldedLettersBesidePairsAndBrokenBytesKeepTheIndexSound)
{
    const char* const pieces[] = {"ð", "Ø", "Þórr", "ß", "東京", "タ", " ", "a", "\xC3", "\xE1\xBA", "ŒUVRE", "-"};
    std::mt19937 random(41);
    Statement insert(connection, "INSERT INTO paired (title) VALUES (?1)");
    for (int row = 0; row < 300; ++row) {
        std::string text;
        for (int piece = random() % 12; piece >= 0; --piece)
            text += pieces[random() % std::size(pieces)];
        ASSERT_TRUE(insert.BindText(1, text).Run()) << connection.LastError();
    }
    EXPECT_TRUE(connection.Execute("INSERT INTO paired (paired, rank) VALUES ('integrity-check', 1)"))
        << connection.LastError();
    for (const char* query : {"d", "o", "thorr", "ss", "東京", "oeuvre"}) {
        const auto snippets =
            Column("SELECT snippet(paired, 0, '[', ']', '', 8) FROM paired WHERE paired MATCH ?1", query);
        EXPECT_FALSE(snippets.empty()) << query;
        for (const std::string& snippet : snippets)
            EXPECT_NE(snippet.find('['), std::string::npos) << query << ": " << snippet;
    }
}

// The tokenizer over raw text gives the tokens that its parent gives over
// PairCjkRuns of that text, as PostgreSQL indexes it, and beside each pair
// its first character (the last pair its second one too).
TEST_F(PairTokenizer, TokenizesAsItsParentDoesThePairedText)
{
    ASSERT_TRUE(connection.Execute(
        "CREATE VIRTUAL TABLE raw USING fts5(t, tokenize = 'trellan_pairs unicode61 remove_diacritics 2');"
        "CREATE VIRTUAL TABLE split USING fts5(t, tokenize = 'unicode61 remove_diacritics 2');"
        "CREATE VIRTUAL TABLE raw_terms USING fts5vocab(raw, instance);"
        "CREATE VIRTUAL TABLE split_terms USING fts5vocab(split, instance);"));
    for (const char* text : {"東京タワーの夜", "ABC東京2024年", "Café東京ｘ", "「東京」の、タワー。", "ｶﾀｶﾅｰ 대한민국",
                             "佐々木 𠮷野家", "Ｔｏｋｙｏ東京 東"}) {
        Statement(connection, "INSERT INTO raw (t) VALUES (?1)").BindText(1, text).Run();
        Statement(connection, "INSERT INTO split (t) VALUES (?1)").BindText(1, host::PairCjkRuns(text)).Run();
    }
    const char* const beside = "length(term) = 1 AND EXISTS (SELECT 1 FROM raw_terms AS other WHERE other.doc = "
                               "raw_terms.doc AND other.offset = raw_terms.offset AND other.term <> raw_terms.term)";
    EXPECT_EQ(Column(("SELECT doc || ':' || offset || ':' || term FROM raw_terms WHERE NOT (" + std::string(beside) +
                      ") ORDER BY doc, offset").c_str(), ""),
              Column("SELECT doc || ':' || offset || ':' || term FROM split_terms ORDER BY doc, offset", ""));
    EXPECT_EQ(Column(("SELECT group_concat(term, '') FROM (SELECT term FROM raw_terms WHERE doc = 1 AND " +
                      std::string(beside) + " ORDER BY offset, term)").c_str(), "").at(0),
              "東京タワーの夜");
    EXPECT_EQ(Column("SELECT count(*) FROM raw_terms WHERE term IN ('タワ', '京タ', 'abc', '대한', '東')", "").at(0), "11");
}

TEST_F(PairTokenizer, RanksByColumnWeightCountAndRarity)
{
    ASSERT_TRUE(host::index::RegisterRanking(connection.Get()));
    ASSERT_TRUE(connection.Execute(
        "CREATE VIRTUAL TABLE ranked USING fts5(title, body);"
        "INSERT INTO ranked (rowid, title, body) VALUES (1, 'harbour', 'harbour'), (2, '', 'harbour harbour harbour'),"
        "    (3, '', 'harbour at dusk'), (4, 'lagoon', ''), (5, 'other', ''), (6, 'other', ''), (7, 'other', ''),"
        "    (8, 'other', '')"));
    const std::string ranked =
        "SELECT rowid FROM ranked WHERE ranked MATCH ?1 ORDER BY trellan_rank(ranked, 10.0, 1.0), rowid";
    struct Case {
        const char* query;
        std::vector<std::string> rows;  // best first
    } cases[] = {
        {"harbour", {"1", "2", "3"}},  // the title weighs most; three in the body beat one
        {"harbour OR lagoon", {"4", "1", "2", "3"}},  // the rarer word weighs more than twice the weight
        {"nowhere", {}},
    };
    for (const Case& test : cases) EXPECT_EQ(Column(ranked, test.query), test.rows) << test.query;

    // A query of one phrase is scanned in one call, to the same ranks and
    // marks; one of more phrases is left to be read row by row.
    const std::vector<sqlite3_int64> exactIds = {2, 4};
    const host::index::SortedIds exact(exactIds);
    for (const char* query : {"harbour", "title:harbour", "harbour OR lagoon", "nowhere"}) {
        host::index::BestMatches best(0);
        Statement scan(connection, "SELECT trellan_scan(ranked, ?2, ?3) FROM ranked WHERE ranked MATCH ?1 LIMIT 1");
        scan.BindText(1, query).BindPointer(2, &exact, host::index::idsPointerType);
        scan.BindPointer(3, &best, host::index::bestPointerType);
        const int read = scan.Step();
        ASSERT_TRUE(read == SQLITE_ROW || read == SQLITE_DONE) << connection.LastError();
        const bool scanned = read == SQLITE_DONE || scan.Integer(0) == 1;  // no match: nothing to scan
        Statement each(connection, "SELECT rowid, trellan_rank(ranked) FROM ranked WHERE ranked MATCH ?1");
        each.BindText(1, query);
        std::vector<host::index::RankedMatch> wanted;
        while (each.Step() == SQLITE_ROW)
            wanted.push_back({each.Integer(0), each.Real(1), exact.Holds(each.Integer(0))});
        EXPECT_EQ(scanned, std::string(query).find(" OR ") == std::string::npos) << query;
        if (!scanned)
            wanted.clear();
        ASSERT_EQ(best.Kept().size(), wanted.size()) << query;
        EXPECT_EQ(best.Total(), std::int64_t(wanted.size())) << query;
        for (size_t i = 0; i < wanted.size(); ++i) {
            EXPECT_EQ(best.Kept()[i].id, wanted[i].id) << query;
            EXPECT_DOUBLE_EQ(best.Kept()[i].rank, wanted[i].rank) << query;
            EXPECT_EQ(best.Kept()[i].exact, wanted[i].exact) << query;
        }
    }
}

// The matches kept as they come hold every one as good as the limit's
// last, however many tie, among thousands that fill their room again and
// again.
TEST(BestMatches, KeepEveryMatchAsGoodAsTheLimitsLast)
{
    std::mt19937 draw(11);
    std::vector<host::index::RankedMatch> all;
    for (std::int64_t id = 1; id <= 30000; ++id)
        all.push_back({id, -double(draw() % 50), draw() % 97 == 0});
    for (const std::int64_t limit : {1, 7, 40, 600, 5000, 0}) {
        host::index::BestMatches best(limit);
        for (const host::index::RankedMatch& match : all) best.Add(match);
        EXPECT_EQ(best.Total(), std::int64_t(all.size()));
        std::vector<host::index::RankedMatch> sorted = all, kept = best.Kept();
        std::stable_sort(sorted.begin(), sorted.end(), host::index::RanksBefore);
        const host::index::RankedMatch last = sorted[size_t(limit ? limit : std::int64_t(all.size())) - 1];
        std::vector<std::int64_t> wanted, found;
        for (const host::index::RankedMatch& match : sorted)
            if (!host::index::RanksBefore(last, match)) wanted.push_back(match.id);
        for (const host::index::RankedMatch& match : kept)
            if (!host::index::RanksBefore(last, match)) found.push_back(match.id);
        std::sort(wanted.begin(), wanted.end());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, wanted) << "limit " << limit;
        EXPECT_LE(kept.size(), limit ? std::max<size_t>(2 * wanted.size(), 8 * size_t(limit) + 4096) : all.size())
            << "limit " << limit;
    }
}

TEST(SortedIds, HoldsWhatTheSetHoldsInAnyOrderOfAsking)
{
    std::vector<sqlite3_int64> ids;
    for (sqlite3_int64 id = 3; id < 3000; id += 3)
        ids.push_back(id);
    const std::vector<sqlite3_int64> none;
    struct Case {
        const char* name;
        std::vector<sqlite3_int64> asked;
    } cases[] = {
        {"ascending, near and far", {1, 3, 4, 6, 9, 300, 301, 2997, 2998, 5000}},
        {"back and forth", {2997, 3, 1500, 1500, 1499, 6, 0, 2999}},
    };
    for (const Case& test : cases) {
        const host::index::SortedIds set(ids), empty(none);
        for (const sqlite3_int64 id : test.asked) {
            EXPECT_EQ(set.Holds(id), std::binary_search(ids.begin(), ids.end(), id)) << test.name << ": " << id;
            EXPECT_FALSE(empty.Holds(id));
        }
    }
}

}  // namespace
}  // namespace trellan::test
