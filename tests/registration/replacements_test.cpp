// The replacement map and the expansion of %name% references.
#include "replacement_map.h"
#include "script_parser.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <win32/seams.h>

namespace trellan::test {
namespace {

struct Expanded {
    HRESULT status;
    std::u16string text;
};

Expanded Expand(const ReplacementMap& map, const std::u16string& input)
{
    ScriptParser parser(const_cast<ReplacementMap*>(&map));
    LPWSTR out = reinterpret_cast<LPWSTR>(0x1);
    Expanded result{parser.ExpandReplacements(input.c_str(), &out), u"<null>"};
    if (out) {
        result.text = out;
        CoTaskMemFree(out);
    }
    return result;
}

TEST(ReplacementMap, AddsInOrderAndFindsTheFirstOfANameInAnyCase)
{
    ReplacementMap map;
    EXPECT_EQ(map.capacity, 10);
    EXPECT_EQ(map.Lookup(u"Module"), nullptr);
    ASSERT_EQ(map.Add(u"Module", u"/first"), S_OK);
    ASSERT_EQ(map.Add(u"MODULE", u"/second"), S_OK);
    EXPECT_EQ(map.count, 2) << "an existing name is not looked for";
    EXPECT_EQ(std::u16string(map.Lookup(u"module")), u"/first");

    // Growth past ten entries keeps every entry.
    for (int i = 0; i < 25; ++i)
        ASSERT_EQ(map.Add(Utf16("name" + std::to_string(i)).c_str(), Utf16(std::to_string(i)).c_str()), S_OK);
    EXPECT_EQ(map.count, 27);
    EXPECT_GE(map.capacity, 27);
    EXPECT_EQ(std::u16string(map.Lookup(u"NAME24")), u"24");

    map.Clear();
    EXPECT_EQ(map.count, 0);
    EXPECT_EQ(map.Lookup(u"Module"), nullptr);
    ASSERT_EQ(map.Add(u"again", u"x"), S_OK) << "the array stays for reuse";
}

TEST(ReplacementMap, FailedAllocationsLeaveTheMapAsItWas)
{
    ReplacementMap map;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(map.Add(Utf16("n" + std::to_string(i)).c_str(), u"v"), S_OK);
    // The entry record, the name copy, the value copy, the grown array.
    for (int skip = 0; skip < 4; ++skip) {
        PlatformSeam_FailAllocations(skip, 1);
        EXPECT_EQ(map.Add(u"extra", u"value"), E_OUTOFMEMORY) << "failure at allocation " << skip;
        PlatformSeam_FailAllocations(0, 0);
        EXPECT_EQ(map.count, 10);
        EXPECT_EQ(map.capacity, 10);
        EXPECT_EQ(map.Lookup(u"extra"), nullptr);
        EXPECT_EQ(std::u16string(map.Lookup(u"n9")), u"v");
    }
    ASSERT_EQ(map.Add(u"extra", u"value"), S_OK);
    EXPECT_EQ(map.capacity, 20);

    // A map whose first array could not be had refuses every addition.
    PlatformSeam_FailAllocations(0, 1);
    ReplacementMap starved;
    PlatformSeam_FailAllocations(0, 0);
    EXPECT_EQ(starved.Add(u"a", u"b"), E_OUTOFMEMORY);
    EXPECT_EQ(starved.count, 0);
}

TEST(ExpandReplacements, ReferencesAndPercentSigns)
{
    ReplacementMap map;
    map.Add(u"Module", u"C:\\dir\\it''s.dll");
    map.Add(u"Percent", u"100%DONE%");
    map.Add(u"ThirtyOneCharactersLongNameXXXX", u"31");
    map.Add(u"with space", u"spaced");
    map.Add(u"Empty", u"");

    struct Case {
        std::u16string input;
        HRESULT status;
        std::u16string output;
    };
    const Case cases[] = {
        {u"", S_OK, u""},
        {u"no references", S_OK, u"no references"},
        {u"'%MODULE%'", S_OK, u"'C:\\dir\\it''s.dll'"},
        {u"%module%%Module%", S_OK, u"C:\\dir\\it''s.dll" u"C:\\dir\\it''s.dll"},
        {u"100%% sure", S_OK, u"100% sure"},
        {u"%%%%", S_OK, u"%%"},
        {u"%Percent%", S_OK, u"100%DONE%"},
        {u"[%Empty%]", S_OK, u"[]"},
        {u"%with space%", S_OK, u"spaced"},
        {u"%ThirtyOneCharactersLongNameXXXX%", S_OK, u"31"},
        {u"%ThirtyTwoCharactersLongNameXXXXX%", E_FAIL, u"<null>"},
        {u"%Unknown%", DISP_E_EXCEPTION, u"<null>"},
        {u"text %", DISP_E_EXCEPTION, u"<null>"},
        {u"%Module", DISP_E_EXCEPTION, u"<null>"},
        {u"\U0001F600 %Empty%\u00e9", S_OK, u"\U0001F600 \u00e9"},
    };
    for (const Case& c : cases) {
        Expanded result = Expand(map, c.input);
        EXPECT_EQ(result.status, c.status) << Utf8(c.input);
        EXPECT_EQ(result.text, c.output) << Utf8(c.input);
    }
}

TEST(ExpandReplacements, GrowthFailureIsOutOfMemory)
{
    ReplacementMap map;
    const std::u16string big(300, u'x');
    map.Add(u"Big", big.c_str());
    // The first allocation is the buffer; the second its growth.
    for (int skip : {0, 1}) {
        PlatformSeam_FailAllocations(skip, 1);
        Expanded result = Expand(map, u"%Big%");
        PlatformSeam_FailAllocations(0, 0);
        EXPECT_EQ(result.status, E_OUTOFMEMORY);
        EXPECT_EQ(result.text, u"<null>");
    }
    EXPECT_EQ(Expand(map, u"%Big%").text, big);
}

}  // namespace
}  // namespace trellan::test
