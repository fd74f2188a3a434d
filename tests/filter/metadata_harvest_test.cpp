// The metadata harvest through a scripted editor (a bound path) and reader
// (a bound stream): the interface fall-back, the failure table, routing,
// and the release of every interface on every path.
#include "com_ptr.h"
#include "support/fake_editor.h"
#include "support/test_filter.h"

#include <gtest/gtest.h>

#include <win32/descriptor_stream.h>
#include <win32/seams.h>

#include <sys/mman.h>

#include <algorithm>

namespace trellan::test {
namespace {

struct HarvestOutcome {
    HRESULT init;
    std::u16string body, title, author, description;
    EditorLog log;
};

// The two bindings, for the tables below: by path the editor opens the
// file, by stream the reader opens the stream.
enum class Bound { path, stream };
const Bound bothBindings[] = {Bound::path, Bound::stream};

// A stream over an empty file in memory (the scripted reader reads none of it).
ComPtr<IStream> MemoryStream()
{
    ComPtr<IStream> stream;
    EXPECT_EQ(PlatformCreateStreamOnDescriptor(memfd_create("harvest", MFD_CLOEXEC), stream.Receive()), S_OK);
    return stream;
}

HarvestOutcome RunHarvest(const EditorScript& script, Bound bound = Bound::path)
{
    ScriptedEditor editor(script);
    TestFilter filter;
    if (bound == Bound::stream)
        EXPECT_EQ(filter.Load(MemoryStream().Get()), S_OK);
    else
        EXPECT_EQ(filter.Load(u"/music/file.wma", 0), S_OK);
    HarvestOutcome outcome;
    outcome.init = filter.Init(0, 0, nullptr, nullptr);
    outcome.body = filter.BodyText();
    outcome.title = filter.Title();
    outcome.author = filter.Author();
    outcome.description = filter.Description();
    outcome.log = editor.Log();
    return outcome;
}

bool Called(const EditorLog& log, const std::string& call)
{
    return std::find(log.calls.begin(), log.calls.end(), call) != log.calls.end();
}

std::vector<FakeAttribute> ThreeAttributes()
{
    return {StringAttribute(u"Title", u"One"), StringAttribute(u"Author", u"Two"),
            StringAttribute(u"WM/Genre", u"Three")};
}

TEST(MetadataHarvest, TheFirstGrantedInterfaceEnumerates)
{
    struct Case {
        bool grant3, grant2, grant1;
        std::vector<std::string> queries;
        const char* countCall;
    };
    const Case cases[] = {
        {true, true, true, {"QI3"}, "CountEx"},
        {false, true, true, {"QI3", "QI2"}, "Count"},
        {false, false, true, {"QI3", "QI2", "QI1"}, "Count"},
    };
    for (const Case& c : cases) {
      for (Bound bound : bothBindings) {
        EditorScript script;
        script.attributes = ThreeAttributes();
        script.grantInfo3 = c.grant3;
        script.grantInfo2 = c.grant2;
        script.grantInfo1 = c.grant1;
        HarvestOutcome outcome = RunHarvest(script, bound);
        EXPECT_EQ(outcome.init, S_OK);
        EXPECT_TRUE(Called(outcome.log, bound == Bound::stream ? "CreateReader" : "Create"));
        std::vector<std::string> queries;
        for (const std::string& call : outcome.log.calls)
            if (call.rfind("QI", 0) == 0)
                queries.push_back(call);
        EXPECT_EQ(queries, c.queries);
        EXPECT_TRUE(Called(outcome.log, c.countCall));
        EXPECT_EQ(outcome.body, u"One\r\nTwo\r\nThree\r\n");
        EXPECT_EQ(outcome.log.opens, 1);
        EXPECT_EQ(outcome.log.openedPath, bound == Bound::stream ? u"<stream>" : u"/music/file.wma");
        EXPECT_EQ(outcome.log.closes, 1);
        EXPECT_EQ(outcome.log.liveReferences, 0);
        EXPECT_EQ(outcome.log.destroyed, 1);
      }
    }
}

TEST(MetadataHarvest, FailuresGiveAccessErrorAndKeepWhatWasRouted)
{
    struct Case {
        const char* what;
        EditorScript script;
        bool opened;          // Open was called
        bool closed;          // Close was called
        std::u16string body;  // what stays routed
    };
    auto script = [](auto change) {
        EditorScript s;
        s.attributes = ThreeAttributes();
        change(s);
        return s;
    };
    const Case cases[] = {
        {"create fails", script([](EditorScript& s) { s.createResult = E_OUTOFMEMORY; }), false, false, u""},
        {"create fails and leaves an editor", script([](EditorScript& s) {
             s.createResult = E_FAIL;
             s.createLeavesEditor = true;
         }),
         false, false, u""},
        {"create succeeds without an editor", script([](EditorScript& s) { s.createGivesNull = true; }), false,
         false, u""},
        {"open fails", script([](EditorScript& s) { s.openResult = NS_E_FILE_OPEN_FAILED; }), true, false, u""},
        {"no header interface", script([](EditorScript& s) {
             s.grantInfo3 = s.grantInfo2 = s.grantInfo1 = false;
         }),
         true, true, u""},
        {"count fails", script([](EditorScript& s) { s.countResult = E_UNEXPECTED; }), true, true, u""},
        {"probe fails at the third", script([](EditorScript& s) { s.failProbeAt = 2; }), true, true,
         u"One\r\nTwo\r\n"},
        {"read fails at the third", script([](EditorScript& s) { s.failReadAt = 2; }), true, true,
         u"One\r\nTwo\r\n"},
        {"read fails at the first", script([](EditorScript& s) { s.failReadAt = 0; }), true, true, u""},
        {"level-1 read fails", script([](EditorScript& s) {
             s.grantInfo3 = s.grantInfo2 = false;
             s.failReadAt = 1;
         }),
         true, true, u"One\r\n"},
    };
    for (const Case& c : cases) {
      for (Bound bound : bothBindings) {
        SCOPED_TRACE(std::string(c.what) + (bound == Bound::stream ? ", by stream" : ", by path"));
        HarvestOutcome outcome = RunHarvest(c.script, bound);
        EXPECT_EQ(outcome.init, FILTER_E_ACCESS);
        EXPECT_EQ(outcome.log.opens, c.opened ? 1 : 0);
        EXPECT_EQ(outcome.log.closes, c.closed ? 1 : 0);
        EXPECT_EQ(outcome.body, c.body);
        EXPECT_EQ(outcome.log.liveReferences, 0) << "every interface released";
      }
    }
}

TEST(MetadataHarvest, RoutingFollowsTheTable)
{
    struct Case {
        const char* what;
        std::vector<FakeAttribute> attributes;
        std::u16string body, title, author, description;
    };
    const Case cases[] = {
        {"title, year, unrouted name",
         {StringAttribute(u"Title", u"Song"), StringAttribute(u"WM/Year", u"1999"),
          StringAttribute(u"WM/Mood", u"Calm")},
         u"Song\r\n1999\r\n", u"Song", u"", u""},
        {"every routed name in order",
         {StringAttribute(u"Copyright", u"c"), StringAttribute(u"WM/AlbumTitle", u"al"),
          StringAttribute(u"WM/Genre", u"g"), StringAttribute(u"WM/Lyrics", u"ly"),
          StringAttribute(u"WM/Publisher", u"p"), StringAttribute(u"WM/Composer", u"co"),
          StringAttribute(u"Description", u"d"), StringAttribute(u"Author", u"a")},
         u"c\r\nal\r\ng\r\nly\r\np\r\nco\r\nd\r\na\r\n", u"", u"a", u"d"},
        {"letter case does not matter",
         {StringAttribute(u"title", u"lower"), StringAttribute(u"AUTHOR", u"upper"),
          StringAttribute(u"dEsCrIpTiOn", u"mixed"), StringAttribute(u"wm/year", u"2001")},
         u"lower\r\nupper\r\nmixed\r\n2001\r\n", u"lower", u"upper", u"mixed"},
        {"empty values change nothing",
         {StringAttribute(u"Title", u"kept"), StringAttribute(u"Title", u""), StringAttribute(u"WM/Year", u"")},
         u"kept\r\n", u"kept", u"", u""},
        {"non-string values are not routed",
         {DwordAttribute(u"WM/Year", 1999), DwordAttribute(u"Title", 7), StringAttribute(u"Author", u"x")},
         u"x\r\n", u"", u"x", u""},
        {"duplicates: the last wins the field, all reach the body",
         {StringAttribute(u"Title", u"first"), StringAttribute(u"Title", u"second")},
         u"first\r\nsecond\r\n", u"second", u"", u""},
        {"names that only look alike",
         {StringAttribute(u"Title ", u"a"), StringAttribute(u"WM/Title", u"b"), StringAttribute(u"Titl", u"c"),
          StringAttribute(u"", u"d")},
         u"", u"", u"", u""},
        {"values that are not ASCII",
         {StringAttribute(u"Title", u"Caf\u00e9 \U0001F3B5"), StringAttribute(u"Author", u"\u00c5ngstr\u00f6m")},
         u"Caf\u00e9 \U0001F3B5\r\n\u00c5ngstr\u00f6m\r\n", u"Caf\u00e9 \U0001F3B5", u"\u00c5ngstr\u00f6m", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditorScript script;
        script.attributes = c.attributes;
        HarvestOutcome outcome = RunHarvest(script);
        EXPECT_EQ(outcome.init, S_OK);
        EXPECT_EQ(outcome.body, c.body);
        EXPECT_EQ(outcome.title, c.title);
        EXPECT_EQ(outcome.author, c.author);
        EXPECT_EQ(outcome.description, c.description);
        EXPECT_EQ(outcome.log.liveReferences, 0);
    }
}

// Values of odd byte lengths and texts without their NUL: under
// AddressSanitizer, a buffer that is not whole UTF-16 units with a NUL unit
// of its own is read past its end.
TEST(MetadataHarvest, ValuesAndNamesOfAnyLengthAreReadInsideTheirBuffers)
{
    struct Case {
        const char* what;
        FakeAttribute attribute;
        std::u16string title;
    };
    const Case cases[] = {
        {"odd length, no NUL", {u"Title", WMT_TYPE_STRING, {'A', 0, 'B'}}, u"AB"},
        {"even length, no NUL", {u"Title", WMT_TYPE_STRING, {'A', 0, 'B', 0}}, u"AB"},
        {"one byte", {u"Title", WMT_TYPE_STRING, {'C'}}, u"C"},
        {"odd length after the NUL", {u"Title", WMT_TYPE_STRING, {'D', 0, 0, 0, 'E'}}, u"D"},
        {"no bytes", {u"Title", WMT_TYPE_STRING, {}}, u""},
        {"name without its NUL", {u"Title", WMT_TYPE_STRING, {'F', 0, 0, 0}, 0, false}, u"F"},
        {"empty name without its NUL", {u"", WMT_TYPE_STRING, {'G', 0}, 0, false}, u""},
        // Long enough for the length to be found four units a step.
        {"a NUL among the second four units",
         {u"Title", WMT_TYPE_STRING, {'A', 0, 'B', 0, 'C', 0, 'D', 0, 'E', 0, 'F', 0, 0, 0, 'G', 0, 'H', 0}}, u"ABCDEF"},
        {"units with a zero byte, and no NUL",
         {u"Title", WMT_TYPE_STRING, {0, 1, 0, 0x80, 0xFF, 0, 0, 0xFF, 1, 0, 'x', 0, 0, 1, 0xE9, 0, 'y', 0}},
         u"\u0100\u8000\u00FF\uFF00\u0001x\u0100\u00E9y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool level3 : {true, false}) {
            EditorScript script;
            script.attributes = {c.attribute};
            script.grantInfo3 = level3;
            HarvestOutcome outcome = RunHarvest(script);
            EXPECT_EQ(outcome.init, S_OK);
            EXPECT_EQ(outcome.title, c.title);
        }
    }
}

TEST(MetadataHarvest, StreamAttributesAreSeenOnlyThroughTheLevelThreeInterface)
{
    EditorScript script;
    script.attributes = {StringAttribute(u"Title", u"file"), StringAttribute(u"Author", u"on stream 1", 1),
                         StringAttribute(u"Title", u"stream title", 2)};
    HarvestOutcome level3 = RunHarvest(script);
    EXPECT_EQ(level3.body, u"file\r\non stream 1\r\nstream title\r\n");
    EXPECT_EQ(level3.title, u"file") << "a stream's value never replaces the file's own";
    EXPECT_EQ(level3.author, u"on stream 1") << "the only value there is";

    for (bool grant2 : {true, false}) {
        script.grantInfo3 = false;
        script.grantInfo2 = grant2;
        HarvestOutcome level1 = RunHarvest(script);
        EXPECT_EQ(level1.body, u"file\r\n");
        EXPECT_EQ(level1.title, u"file");
        EXPECT_EQ(level1.author, u"");
    }
}

// Title, author and comments are the file's own: file-level values in the
// default language, the last of them where there are several; a value of a
// stream or of another language stands in only where the file has none.
// The body text keeps every value.
TEST(MetadataHarvest, OwnFieldsTakeTheFilesOwnValues)
{
    auto inLanguage = [](FakeAttribute attribute, WORD language) {
        attribute.language = language;
        return attribute;
    };
    struct Case {
        const char* what;
        std::vector<FakeAttribute> attributes;
        std::u16string title, author, description;
    };
    const Case cases[] = {
        {"another language after the default one",
         {StringAttribute(u"Title", u"Harbour"), inLanguage(StringAttribute(u"Title", u"Port"), 1),
          StringAttribute(u"Description", u"Calm"), inLanguage(StringAttribute(u"Description", u"Calme"), 1)},
         u"Harbour", u"", u"Calm"},
        {"streams and languages around two file values",
         {StringAttribute(u"Author", u"on a stream", 3), StringAttribute(u"Author", u"first"),
          StringAttribute(u"Author", u"second"), inLanguage(StringAttribute(u"Author", u"zweite"), 2),
          StringAttribute(u"Author", u"", 0)},
         u"", u"second", u""},
        {"no file value in the default language",
         {inLanguage(StringAttribute(u"Title", u"Titre"), 1), StringAttribute(u"Title", u"Stream", 1)}, u"Stream",
         u"", u""},
        {"a file value of another type",
         {DwordAttribute(u"Title", 5), StringAttribute(u"Title", u"a stream's", 2)}, u"a stream's", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditorScript script;
        script.attributes = c.attributes;
        HarvestOutcome outcome = RunHarvest(script);
        EXPECT_EQ(outcome.init, S_OK);
        EXPECT_EQ(outcome.title, c.title);
        EXPECT_EQ(outcome.author, c.author);
        EXPECT_EQ(outcome.description, c.description);
        size_t lines = 0;
        for (const FakeAttribute& attribute : c.attributes)
            lines += attribute.type == WMT_TYPE_STRING && attribute.value.size() > 2;
        EXPECT_EQ(static_cast<size_t>(std::count(outcome.body.begin(), outcome.body.end(), u'\n')), lines);
        EXPECT_EQ(outcome.log.liveReferences, 0);
    }
}

TEST(MetadataHarvest, NoAttributesIsSuccessWithEmptyStrings)
{
    for (bool level3 : {true, false}) {
        EditorScript script;
        script.grantInfo3 = level3;
        HarvestOutcome outcome = RunHarvest(script);
        EXPECT_EQ(outcome.init, S_OK);
        EXPECT_EQ(outcome.body, u"");
        EXPECT_EQ(outcome.log.closes, 1);
        EXPECT_EQ(outcome.log.liveReferences, 0);
        // Nothing is probed when the count is 0.
        EXPECT_FALSE(Called(outcome.log, level3 ? "ProbeAttrEx:0" : "ProbeAttr:0"));
    }
}

// The probe comes before every read, and asks the type: a value that is not
// a string is never read. A field given one value needs no look-up by name.
TEST(MetadataHarvest, TheProbeComesBeforeEveryReadOfAString)
{
    for (bool level3 : {true, false}) {
        EditorScript script;
        script.attributes = ThreeAttributes();
        script.attributes.insert(script.attributes.begin() + 1, DwordAttribute(u"WM/Picture", 7));
        script.grantInfo3 = level3;
        HarvestOutcome outcome = RunHarvest(script);
        const std::string call = level3 ? "AttrEx:" : "Attr:";
        // Every read comes right after the probe of its own attribute, and
        // the value that is no string is probed but never read.
        std::vector<std::string> reads;
        const std::vector<std::string>& calls = outcome.log.calls;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].rfind("Read" + call, 0) != 0)
                continue;
            const std::string index = calls[i].substr(4 + call.size());
            ASSERT_GT(i, 0u);
            EXPECT_EQ(calls[i - 1], "Probe" + call + index) << level3;
            reads.push_back(index);
        }
        EXPECT_EQ(reads, (std::vector<std::string>{"0", "2", "3"})) << level3;
        EXPECT_TRUE(Called(outcome.log, "Probe" + call + "1")) << level3;
        EXPECT_EQ(outcome.body, u"One\r\nTwo\r\nThree\r\n");
    }
}

TEST(MetadataHarvest, AllocationFailuresReleaseEverything)
{
    const std::u16string longValue(200, u'v');
    EditorScript script;
    script.attributes = {StringAttribute(u"Title", longValue), StringAttribute(u"WM/Year", longValue),
                         StringAttribute(u"Author", longValue)};

    int growthFailures = 0;
    int bufferFailures = 0;
    for (int skip = 0; skip < 40; ++skip) {
        ScriptedEditor editor(script);
        TestFilter filter;
        ASSERT_EQ(filter.Load(u"/x.mp3", 0), S_OK);
        PlatformSeam_FailAllocations(skip, 1);
        HRESULT result = filter.Init(0, 0, nullptr, nullptr);
        PlatformSeam_FailAllocations(0, 0);

        EXPECT_EQ(editor.Log().liveReferences, 0) << "skip " << skip;
        if (result == E_FAIL) {
            ++growthFailures;
            EXPECT_EQ(editor.Log().closes, 0) << "no Close after an exception";
        } else if (result == FILTER_E_ACCESS) {
            ++bufferFailures;
            EXPECT_EQ(editor.Log().closes, 1);
        } else {
            EXPECT_EQ(result, S_OK);
            EXPECT_EQ(filter.Title(), longValue);
        }
        // The object stays usable: the next Init harvests everything.
        ASSERT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
        EXPECT_EQ(filter.Author(), longValue);
    }
    EXPECT_GT(growthFailures, 0);
    EXPECT_GT(bufferFailures, 0);
}

}  // namespace
}  // namespace trellan::test
