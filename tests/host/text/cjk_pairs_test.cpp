// Runs of Han, Kana and Hangul into overlapping pairs; every other byte kept.
#include "text/cjk_pairs.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

TEST(CjkPairs, SplitsRunsIntoOverlappingPairsAndKeepsEverythingElse)
{
    struct Case {
        const char* text;
        const char* paired;
        bool hasCjk;
    } cases[] = {
        {"", "", false},
        {"Harbour Lights, 2003", "Harbour Lights, 2003", false},
        {"Café Москва ＡＢＣ。", "Café Москва ＡＢＣ。", false},
        {"東", "東", true},
        {"東京", "東京", true},
        {"東京タワー", "東京 京タ タワ ワー", true},
        {"ABC東京", "ABC 東京", true},
        {"東京2024年", "東京 2024 年", true},
        {"café東京ｘ", "café 東京 ｘ", true},
        {"「東京」の、タワー。", "「東京」の、タワ ワー。", true},
        {"東京・大阪 ゠", "東京・大阪 ゠", true},
        {"佐々木", "佐々 々木", true},
        {"𠮷野家", "𠮷野 野家", true},
        {"ｶﾀｶﾅｰ", "ｶﾀ ﾀｶ ｶﾅ ﾅｰ", true},
        {"대한민국 만세", "대한 한민 민국 만세", true},
        {"タカ\u3099ラ", "タカ\u3099ラ", true},  // a combining mark ends a run
        // Invalid UTF-8 is kept and ends a run; a cut sequence is never read as a character.
        {"\xFF東京\xE6\x9D", "\xFF東京\xE6\x9D", true},
        {"東\xE4京", "東\xE4京", true},
        {"\xE6\x9D\xB1\xE4", "\xE6\x9D\xB1\xE4", true},
        {"\xED\xA0\x80\xE6\x9D", "\xED\xA0\x80\xE6\x9D", false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(host::PairCjkRuns(test.text), test.paired) << test.text;
        EXPECT_EQ(host::HasCjk(test.text), test.hasCjk) << test.text;
    }
}

}  // namespace
}  // namespace trellan::test
