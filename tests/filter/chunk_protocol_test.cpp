// The chunk protocol of the filter object: every status code and state
// change of Init, GetChunk, GetText and GetValue.
#include "support/fake_editor.h"
#include "support/test_filter.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <win32/seams.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace trellan::test {
namespace {

const GUID storageSet = PSGUID_STORAGE;

// A filter bound to a path whose harvest routes the given attributes.
class ChunkProtocolTest : public ::testing::Test {
protected:
    void Harvest(std::vector<FakeAttribute> attributes)
    {
        EditorScript script;
        script.attributes = std::move(attributes);
        editor.emplace(script);
        ASSERT_EQ(filter.Load(u"/media/song.mp3", 0), S_OK);
        ASSERT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
    }

    // Reads the whole text of the current chunk with a buffer of `units`.
    std::u16string ReadText(ULONG units, HRESULT* last = nullptr)
    {
        std::u16string text;
        std::u16string buffer(units, u'#');
        for (int guard = 0; guard < 10000; ++guard) {
            ULONG count = units;
            HRESULT result = filter.GetText(&count, buffer.data());
            if (last)
                *last = result;
            if (FAILED(result))
                break;
            text.append(buffer, 0, count);
            if (result == FILTER_S_LAST_TEXT)
                break;
        }
        return text;
    }

    std::u16string TakeValue()
    {
        PROPVARIANT* value = nullptr;
        EXPECT_EQ(filter.GetValue(&value), S_OK);
        if (!value)
            return u"<none>";
        EXPECT_EQ(value->vt, VT_LPWSTR);
        std::u16string text = value->pwszVal;
        CoTaskMemFree(value->pwszVal);
        CoTaskMemFree(value);
        return text;
    }

    std::optional<ScriptedEditor> editor;
    TestFilter filter;
};

TEST_F(ChunkProtocolTest, GetChunkBeforeInitReportsNoChunksAndChangesNothing)
{
    STAT_CHUNK stat{};
    stat.idChunk = 77;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(filter.GetChunk(&stat), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(stat.idChunk, 77u);

    // Text and values before any chunk.
    ULONG units = 10;
    WCHAR buffer[10];
    EXPECT_EQ(filter.GetText(&units, buffer), FILTER_E_NO_MORE_TEXT);
    EXPECT_EQ(units, 0u);
    PROPVARIANT* value = nullptr;
    EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_VALUES);
    EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
    EXPECT_EQ(value, nullptr);
}

TEST_F(ChunkProtocolTest, FourChunksWithTheTableProperties)
{
    Harvest({StringAttribute(u"Title", u"T"), StringAttribute(u"Author", u"A"),
             StringAttribute(u"Description", u"D")});

    struct Expected {
        ULONG flags;
        GUID set;
        PROPID id;
    };
    const Expected expected[] = {
        {CHUNK_TEXT, storageSet, PID_STG_CONTENTS},
        {CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_TITLE},
        {CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_AUTHOR},
        {CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_COMMENTS},
    };
    for (ULONG i = 0; i < 4; ++i) {
        STAT_CHUNK stat;
        std::memset(&stat, 0xCD, sizeof stat);
        ASSERT_EQ(filter.GetChunk(&stat), S_OK) << "chunk " << i + 1;
        EXPECT_EQ(stat.idChunk, i + 1);
        EXPECT_EQ(stat.breakType, CHUNK_NO_BREAK);
        EXPECT_EQ(stat.flags, expected[i].flags);
        EXPECT_EQ(stat.locale, GetSystemDefaultLCID());
        EXPECT_TRUE(IsEqualGUID(stat.attribute.guidPropSet, expected[i].set));
        EXPECT_EQ(stat.attribute.psProperty.ulKind, ULONG(PRSPEC_PROPID));
        EXPECT_EQ(stat.attribute.psProperty.propid, expected[i].id);
        EXPECT_EQ(stat.idChunkSource, 1u) << "every chunk names the text chunk as its source";
        EXPECT_EQ(stat.cwcStartSource, 0u);
        EXPECT_EQ(stat.cwcLenSource, 0u);
    }

    // The end, at every further call.
    STAT_CHUNK stat;
    std::memset(&stat, 0xCD, sizeof stat);
    for (int call = 5; call <= 8; ++call)
        EXPECT_EQ(filter.GetChunk(&stat), FILTER_E_END_OF_CHUNKS) << call;
    EXPECT_EQ(stat.idChunk, 0xCDCDCDCDu) << "*pStat is not written past the end";
}

TEST_F(ChunkProtocolTest, TextComesBackInPiecesOfTheBufferSize)
{
    Harvest({StringAttribute(u"Title", u"abcdefgh")});  // body: "abcdefgh\r\n", 10 units
    const std::u16string body = u"abcdefgh\r\n";

    struct Case {
        ULONG capacity;
        std::vector<HRESULT> results;  // one per call, until the end
    };
    const Case cases[] = {
        {10, {FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},               // exact fit
        {11, {FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},               // larger
        {4, {S_OK, S_OK, FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},    // smaller
        {5, {S_OK, FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},          // divides evenly
        {1, std::vector<HRESULT>(9, S_OK)},                              // unit by unit (first nine)
    };
    for (const Case& c : cases) {
        ASSERT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
        STAT_CHUNK stat;
        ASSERT_EQ(filter.GetChunk(&stat), S_OK);
        std::u16string text;
        for (HRESULT expected : c.results) {
            std::u16string buffer(c.capacity, u'#');
            ULONG count = c.capacity;
            HRESULT result = filter.GetText(&count, buffer.data());
            EXPECT_EQ(result, expected) << "capacity " << c.capacity;
            if (result == FILTER_E_NO_MORE_TEXT) {
                EXPECT_EQ(count, 0u);
            } else {
                EXPECT_LE(count, c.capacity);
                EXPECT_EQ(buffer.substr(count), std::u16string(c.capacity - count, u'#')) << "no NUL written";
                text.append(buffer, 0, count);
            }
        }
        EXPECT_EQ(text, body.substr(0, text.size()));
        if (c.capacity > 1) {
            EXPECT_EQ(text, body);
        }
    }
}

TEST_F(ChunkProtocolTest, ZeroCapacityWritesNothingAndKeepsThePosition)
{
    Harvest({StringAttribute(u"Title", u"xyz")});
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ULONG count = 2;
    WCHAR buffer[8];
    ASSERT_EQ(filter.GetText(&count, buffer), S_OK);
    count = 0;
    EXPECT_EQ(filter.GetText(&count, nullptr), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(filter.TextPosition(), 2u);
    EXPECT_EQ(ReadText(8), u"z\r\n");
}

TEST_F(ChunkProtocolTest, SurrogatePairsAreCutByCountAlone)
{
    const std::u16string clef = u"\U0001D11E";  // two units
    Harvest({StringAttribute(u"Title", u"a" + clef)});
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    WCHAR buffer[2];
    ULONG count = 2;
    ASSERT_EQ(filter.GetText(&count, buffer), S_OK);
    EXPECT_EQ(std::u16string(buffer, count), u"a" + clef.substr(0, 1)) << "the high surrogate alone";
    EXPECT_EQ(ReadText(2), clef.substr(1) + u"\r\n");
}

TEST_F(ChunkProtocolTest, EmptyHarvestStillGivesFourChunks)
{
    Harvest({});
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ULONG count = 16;
    WCHAR buffer[16];
    EXPECT_EQ(filter.GetText(&count, buffer), FILTER_E_NO_MORE_TEXT);
    EXPECT_EQ(count, 0u);
    for (int chunk = 2; chunk <= 4; ++chunk) {
        ASSERT_EQ(filter.GetChunk(&stat), S_OK);
        EXPECT_EQ(TakeValue(), u"") << "an empty value is delivered all the same";
    }
    EXPECT_EQ(filter.GetChunk(&stat), FILTER_E_END_OF_CHUNKS);
}

TEST_F(ChunkProtocolTest, ValuesOncePerValueChunkAndNeverInOthers)
{
    Harvest({StringAttribute(u"Title", u"The title"), StringAttribute(u"Author", u"The author"),
             StringAttribute(u"Description", u"The comments")});
    STAT_CHUNK stat;
    PROPVARIANT* value = nullptr;

    // Chunk 1: no values, no more values.
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_VALUES);
    EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
    EXPECT_EQ(value, nullptr);

    const char16_t* expected[] = {u"The title", u"The author", u"The comments"};
    for (const char16_t* text : expected) {
        ASSERT_EQ(filter.GetChunk(&stat), S_OK);
        // No text in a value chunk.
        ULONG count = 4;
        WCHAR buffer[4];
        EXPECT_EQ(filter.GetText(&count, buffer), FILTER_E_NO_MORE_TEXT);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(TakeValue(), text);
        EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
        EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
    }

    // After the end, each GetChunk opens one more "no values" answer.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(filter.GetChunk(&stat), FILTER_E_END_OF_CHUNKS);
        EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_VALUES);
        EXPECT_EQ(filter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
        ULONG count = 4;
        WCHAR buffer[4];
        EXPECT_EQ(filter.GetText(&count, buffer), FILTER_E_NO_MORE_TEXT);
    }
}

TEST_F(ChunkProtocolTest, InitInMidWalkStartsAgainWithFreshStrings)
{
    Harvest({StringAttribute(u"Title", u"first")});
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(TakeValue(), u"first");

    editor->Script().attributes = {StringAttribute(u"Title", u"second")};
    ULONG flags = 0xFFFF;
    ASSERT_EQ(filter.Init(0, 0, nullptr, &flags), S_OK);
    EXPECT_EQ(flags, 0u);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 1u);
    EXPECT_EQ(ReadText(64), u"second\r\n");
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(TakeValue(), u"second");
}

TEST_F(ChunkProtocolTest, InitWithoutAPathFailsButTheWalkStillRuns)
{
    ULONG flags = 5;
    EXPECT_EQ(filter.Init(0, 0, nullptr, &flags), E_FAIL);
    EXPECT_EQ(flags, 0u);
    EXPECT_TRUE(filter.Initialized());
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 1u);
    ULONG count = 4;
    WCHAR buffer[4];
    EXPECT_EQ(filter.GetText(&count, buffer), FILTER_E_NO_MORE_TEXT);
    for (int chunk = 2; chunk <= 4; ++chunk) {
        ASSERT_EQ(filter.GetChunk(&stat), S_OK);
        EXPECT_EQ(TakeValue(), u"");
    }
}

TEST_F(ChunkProtocolTest, LocaleIsReadAtEachGetChunk)
{
    Harvest({});
    const char* saved = std::getenv("LC_ALL");
    std::string savedValue = saved ? saved : "";

    struct Case {
        const char* setting;
        LCID lcid;
    };
    const Case cases[] = {{"de_DE.UTF-8", 0x0407}, {"fr_CA.UTF-8", 0x0C0C}, {"ja_JP", 0x0411}, {"C", 0x0409}};
    STAT_CHUNK stat;
    for (const Case& c : cases) {
        setenv("LC_ALL", c.setting, 1);
        ASSERT_EQ(filter.GetChunk(&stat), S_OK);
        EXPECT_EQ(stat.locale, c.lcid) << c.setting;
    }
    if (saved)
        setenv("LC_ALL", savedValue.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST_F(ChunkProtocolTest, NullOutPointersAreRefusedWithoutChangingState)
{
    Harvest({StringAttribute(u"Title", u"t")});
    EXPECT_EQ(filter.GetChunk(nullptr), E_POINTER);
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 1u) << "the refused call moved nothing on";
    EXPECT_EQ(filter.GetText(nullptr, nullptr), E_POINTER);
    ULONG count = 3;
    EXPECT_EQ(filter.GetText(&count, nullptr), E_POINTER);
    EXPECT_EQ(filter.TextPosition(), 0u);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(filter.GetValue(nullptr), E_POINTER);
    EXPECT_FALSE(filter.ValueDelivered());
    EXPECT_EQ(TakeValue(), u"t");
}

TEST_F(ChunkProtocolTest, AValueThatCannotBeAllocatedCanBeAskedForAgain)
{
    Harvest({StringAttribute(u"Author", u"Someone")});
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);  // author
    for (int skip : {0, 1}) {                 // the PROPVARIANT, then its string
        PlatformSeam_FailAllocations(skip, 1);
        PROPVARIANT* value = nullptr;
        EXPECT_EQ(filter.GetValue(&value), E_OUTOFMEMORY);
        EXPECT_EQ(value, nullptr);
        PlatformSeam_FailAllocations(0, 0);
    }
    EXPECT_EQ(TakeValue(), u"Someone");
}

TEST_F(ChunkProtocolTest, BindRegionIsNotImplemented)
{
    FILTERREGION region{1, 0, 1};
    void* out = nullptr;
    EXPECT_EQ(filter.BindRegion(region, IID_IUnknown, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace trellan::test
