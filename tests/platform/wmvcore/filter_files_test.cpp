// End to end: media files written by the tests, read through the filter
// object with the TagLib editor behind it, chunk by chunk.
#include "editor_access.h"
#include "filter_walk.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>

#include <thread>

namespace trellan::test {
namespace {

const std::u16string crlf = u"\r\n";

// The body text: each routed value on a line of its own.
std::u16string Lines(std::initializer_list<std::u16string> values)
{
    std::u16string text;
    for (const std::u16string& value : values)
        text += value + crlf;
    return text;
}

struct Expected {
    std::u16string body, title, author, comments;
};

void ExpectOutcome(const FilterOutcome& outcome, const Expected& expected)
{
    EXPECT_EQ(outcome.initResult, S_OK);
    EXPECT_EQ(outcome.bodyText, expected.body);
    EXPECT_EQ(outcome.title, expected.title);
    EXPECT_EQ(outcome.author, expected.author);
    EXPECT_EQ(outcome.comments, expected.comments);
}

TEST(FilterFiles, AsfHeaderObjectsRouteInHeaderOrder)
{
    AsfContent content;
    content.title = u"Night Train";
    content.author = u"The Couplers";
    content.copyright = u"(c) 2009 Couplers";
    content.description = u"Recorded live";
    content.rating = u"Not routed";
    content.extended = {
        AsfString(u"WM/AlbumTitle", u"Tracks"),
        AsfDword(u"WM/TrackNumber", 3),
        AsfString(u"WM/Year", u"2009"),
        AsfString(u"WM/Mood", u"Not routed either"),
        AsfDword(u"WM/Genre", 17),  // not a string: not routed
        AsfString(u"wm/genre", u"Blues"),
        AsfString(u"WM/Publisher", u""),  // empty: not routed
        AsfString(u"WM/Lyrics", u"All aboard"),
    };
    content.metadata = {AsfString(u"WM/Composer", u"Stream Composer", 1)};
    content.library = {AsfString(u"WM/Publisher", u"Rail Records", 0)};

    TempDir dir;
    for (const char* name : {"train.wma", "train.asf", "train.wmv"}) {
        SCOPED_TRACE(name);
        content.video = std::string(name).ends_with(".wmv");
        ExpectOutcome(FilterFile(dir.Write(name, BuildAsf(content))),
                      {Lines({u"Night Train", u"The Couplers", u"(c) 2009 Couplers", u"Recorded live", u"Tracks",
                              u"2009", u"Blues", u"All aboard", u"Stream Composer", u"Rail Records"}),
                       u"Night Train", u"The Couplers", u"Recorded live"});
    }
}

// The file's own title, author and comments win over a stream's and over
// another language's; where the file has none, those stand in. The body
// text keeps every value.
TEST(FilterFiles, AsfOwnFieldsAreTheFilesOwn)
{
    AsfContent content;
    content.title = u"File Title";
    content.description = u"File Notes";
    content.metadata = {AsfString(u"Title", u"Stream Title", 1), AsfString(u"Author", u"Stream Author", 2)};
    AsfAttribute french = AsfString(u"Description", u"Notes en fran\u00e7ais", 0);
    french.language = 1;
    content.library = {french};
    TempDir dir;
    ExpectOutcome(FilterFile(dir.Write("override.asf", BuildAsf(content))),
                  {Lines({u"File Title", u"File Notes", u"Stream Title", u"Stream Author",
                          u"Notes en fran\u00e7ais"}),
                   u"File Title", u"Stream Author", u"File Notes"});
}

TEST(FilterFiles, Mp3WithId3v23Utf16Frames)
{
    const auto utf16 = Id3Encoding::utf16;
    const std::vector<Id3Frame> frames = {
        Id3Text("TIT2", u"Caf\u00E9 Song", utf16),
        Id3Text("TPE1", u"Ma\u00EFa", utf16),
        Id3Text("TALB", u"Terrasse", utf16),
        Id3Text("TRCK", u"2", utf16),  // not routed
        Id3Text("TYER", u"2001", utf16),
        Id3Text("TCON", u"(8)", utf16),
        Id3Comment(u"", u"Warm evening", utf16),
        Id3Text("TCOP", u"(c) Maia", utf16),
        Id3Text("TCOM", u"Jean", utf16),
        Id3Text("TPUB", u"Label", utf16),
        Id3Lyrics(u"Ooh", utf16),
        Id3UserText(u"Mood", u"Mellow", utf16),  // not routed
    };
    TempDir dir;
    const std::string path = dir.Write("cafe.mp3", Concatenate({BuildId3v2(3, frames, 128), SilentMpegFrames(3)}));
    for (ULONG buffer : {1u, 7u, 4096u}) {
        SCOPED_TRACE(buffer);
        ExpectOutcome(FilterFile(path, buffer),
                      {Lines({u"Caf\u00E9 Song", u"Ma\u00EFa", u"Terrasse", u"2001", u"Jazz", u"Warm evening",
                              u"(c) Maia", u"Jean", u"Label", u"Ooh"}),
                       u"Caf\u00E9 Song", u"Ma\u00EFa", u"Warm evening"});
    }
}

TEST(FilterFiles, Mp3WithId3v24Utf8Frames)
{
    const auto utf8 = Id3Encoding::utf8;
    const std::vector<Id3Frame> frames = {
        Id3Text("TPE1", u"\u0414\u0443\u044D\u0442", utf8),
        Id3Text("TIT2", u"\u041F\u0435\u0441\u043D\u044F \U0001F3B6", utf8),
        Id3Text("TDRC", u"1999-12-31", utf8),
        Id3Text("TCON", u"Folk", utf8),
        Id3Comment(u"", u"\u00FCber", utf8),
        Id3Comment(u"", u"second comment", utf8),
    };
    TempDir dir;
    ExpectOutcome(FilterFile(dir.Write("v24.mp3", Concatenate({BuildId3v2(4, frames), SilentMpegFrames(2)}))),
                  {Lines({u"\u0414\u0443\u044D\u0442", u"\u041F\u0435\u0441\u043D\u044F \U0001F3B6", u"1999",
                          u"Folk", u"\u00FCber"}),
                   u"\u041F\u0435\u0441\u043D\u044F \U0001F3B6", u"\u0414\u0443\u044D\u0442", u"\u00FCber"});
}

TEST(FilterFiles, Mp3WithId3v1Only)
{
    Id3v1Fields fields;
    fields.title = "Plain Title";
    fields.artist = "Plain Artist";
    fields.album = "Plain Album";
    fields.year = "1995";
    fields.comment = "Plain comment";
    fields.track = 4;
    fields.genre = 13;  // Pop
    TempDir dir;
    ExpectOutcome(FilterFile(dir.Write("v1.mp3", Concatenate({SilentMpegFrames(4), BuildId3v1(fields)}))),
                  {Lines({u"Plain Title", u"Plain Artist", u"Plain Album", u"1995", u"Plain comment", u"Pop"}),
                   u"Plain Title", u"Plain Artist", u"Plain comment"});
}

// What readers of both tag versions show: ID3v1 fills each field that the
// ID3v2 tag lacks, the plain comment is the comment, a TXXX frame does not
// override a standard frame, and a text frame with bytes that are not
// UTF-8 keeps the rest of its text.
TEST(FilterFiles, Mp3TagsAsReadersOfBothVersionsGiveThem)
{
    const auto latin1 = Id3Encoding::latin1;
    Id3v1Fields v1;
    v1.title = "V1 Title";
    v1.artist = "V1 Artist";
    v1.comment = "V1 comment";
    struct Case {
        const char* what;
        std::vector<Id3Frame> frames;
        bool withV1;
        Expected expected;
    };
    const Case cases[] = {
        {"ID3v2 with only the encoder", {Id3Text("TENC", u"LAME", latin1)}, true,
         {Lines({u"V1 Title", u"V1 Artist", u"V1 comment"}), u"V1 Title", u"V1 Artist", u"V1 comment"}},
        {"ID3v2 title, ID3v1 the rest", {Id3Text("TIT2", u"V2 Title", latin1)}, true,
         {Lines({u"V2 Title", u"V1 Artist", u"V1 comment"}), u"V2 Title", u"V1 Artist", u"V1 comment"}},
        {"a described comment after the plain one",
         {Id3Comment(u"", u"plain", latin1), Id3Comment(u"Notes", u"described", latin1)}, false,
         {Lines({u"plain"}), u"", u"", u"plain"}},
        {"TXXX named like a standard frame",
         {Id3Text("TIT2", u"real", latin1), Id3UserText(u"TITLE", u"fake", latin1),
          Id3UserText(u"author", u"also fake", latin1)},
         true, {Lines({u"real", u"V1 Artist", u"V1 comment"}), u"real", u"V1 Artist", u"V1 comment"}},
        {"TXXX standing in for no standard frame", {Id3UserText(u"Title", u"user title", latin1)}, false,
         {Lines({u"user title"}), u"user title", u"", u""}},
        {"a Latin-1 byte in a UTF-8 frame",
         {{"TIT2", {3, 'C', 'a', 'f', 0xE9, ' ', 't', 'i', 't', 'l', 'e'}},
          {"TPE1", {3, 0xF0, 0x9F, 0x8E, 'x', 0xC3, 0xA9, 0xED, 0xA0, 0x80, '!'}}},
         false,
         {Lines({u"Caf\uFFFD title", u"\uFFFDx\u00E9\uFFFD\uFFFD\uFFFD!"}), u"Caf\uFFFD title",
          u"\uFFFDx\u00E9\uFFFD\uFFFD\uFFFD!", u""}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = Concatenate({BuildId3v2(4, c.frames), SilentMpegFrames(2), c.withV1 ? BuildId3v1(v1) : Bytes{}});
        ExpectOutcome(FilterFile(dir.Write("both.mp3", file)), c.expected);
    }
}

// Layouts that taggers, rippers and gain tools write, through the filter:
// each gives what other readers show for it.
TEST(FilterFiles, Mp3LayoutsOfRealTaggersGiveWhatOtherReadersShow)
{
    const auto latin1 = Id3Encoding::latin1;
    // Over 127 bytes, so that a plain size does not read as the same
    // synchsafe one.
    const std::u16string prose = u"Recorded in one take at the old mill, with the windows open, the rain on the "
                                 u"roof and a dog that would not stop barking at the far end of the yard.";
    const std::u16string capitals(160, u'Q');
    auto frames = [&](const std::u16string& comment) {
        return std::vector<Id3Frame>{Id3Text("TIT2", u"Mill Song", latin1), Id3Comment(u"", comment, latin1),
                                     Id3Text("TPE1", u"The Millers", latin1)};
    };
    Id3Layout plainSizes;
    plainSizes.plainSizes = true;
    plainSizes.padding = 32;
    Id3Layout extended;
    extended.extendedHeader = true;
    extended.padding = 16;
    Id3Layout extendedWithCrc = extended;
    extendedWithCrc.crc = true;
    Id3Frame commentWithoutMark = Id3Comment(u"", u"", latin1);
    // Big-endian, as its zero bytes show; the title is little-endian.
    commentWithoutMark.body = {1, 'e', 'n', 'g', 0, 0, 0, 'N', 0, 'o', 0, ' ', 0, 'm', 0, 'a', 0, 'r', 0, 'k'};
    Id3v1Fields v1;
    v1.title = "A title much longer than thirt";
    v1.artist = "An artist cut at thirty byte";
    v1.comment = "V1 comment";
    const Bytes ape = BuildApe({ApeText("Title", "A title much longer than thirty bytes, whole"),
                                ApeText("ARTIST", "An artist cut at thirty bytes in ID3v1"),
                                ApeText("REPLAYGAIN_TRACK_GAIN", "-6.20 dB"), {"Cover Art (Front)", Bytes(5000, 0xFF), 2}});
    const Bytes mpeg = SilentMpegFrames(3);
    const std::u16string apeTitle = u"A title much longer than thirty bytes, whole";
    const std::u16string apeArtist = u"An artist cut at thirty bytes in ID3v1";

    struct Case {
        const char* what;
        Bytes file;
        Expected expected;
    };
    const Case cases[] = {
        {"ID3v2.4 with plain sizes, prose in the comment", Concatenate({BuildId3v2(4, frames(prose), plainSizes), mpeg}),
         {Lines({u"Mill Song", prose, u"The Millers"}), u"Mill Song", u"The Millers", prose}},
        {"ID3v2.4 with plain sizes, capitals in the comment",
         Concatenate({BuildId3v2(4, frames(capitals), plainSizes), mpeg}),
         {Lines({u"Mill Song", capitals, u"The Millers"}), u"Mill Song", u"The Millers", capitals}},
        {"ID3v2.3 with an extended header", Concatenate({BuildId3v2(3, frames(prose), extended), mpeg}),
         {Lines({u"Mill Song", prose, u"The Millers"}), u"Mill Song", u"The Millers", prose}},
        {"ID3v2.3 with an extended header and a CRC", Concatenate({BuildId3v2(3, frames(prose), extendedWithCrc), mpeg}),
         {Lines({u"Mill Song", prose, u"The Millers"}), u"Mill Song", u"The Millers", prose}},
        {"UTF-16 without a byte-order mark",
         Concatenate({BuildId3v2(3, {Id3TextWithoutMark("TIT2", u"No mark \u00e9"), commentWithoutMark}), mpeg}),
         {Lines({u"No mark \u00e9", u"No mark"}), u"No mark \u00e9", u"", u"No mark"}},
        {"APE before ID3v1", Concatenate({mpeg, ape, BuildId3v1(v1)}),
         {Lines({apeTitle, apeArtist, u"V1 comment"}), apeTitle, apeArtist, u"V1 comment"}},
        {"APE and Lyrics3 before ID3v1", Concatenate({mpeg, ape, BuildLyrics3("La la la"), BuildId3v1(v1)}),
         {Lines({apeTitle, apeArtist, u"V1 comment"}), apeTitle, apeArtist, u"V1 comment"}},
        {"ID3v2, then APE, then ID3v1",
         Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"V2 Title", latin1)}), mpeg, ape, BuildId3v1(v1)}),
         {Lines({u"V2 Title", apeArtist, u"V1 comment"}), u"V2 Title", apeArtist, u"V1 comment"}},
        {"a TXXX described DESCRIPTION",
         Concatenate({BuildId3v2(3, {Id3UserText(u"DESCRIPTION", u"not a comment", latin1)}), mpeg}),
         {u"", u"", u"", u""}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectOutcome(FilterFile(dir.Write("layout.mp3", c.file)), c.expected);
    }
}

TEST(FilterFiles, FilesWithoutRoutedAttributesGiveEmptyChunks)
{
    AsfContent unrouted;
    unrouted.contentDescription = false;
    unrouted.extended = {AsfDword(u"WM/TrackNumber", 1), AsfString(u"WM/Mood", u"Quiet")};
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"bare.asf", BuildAsf(AsfContent{})},
        {"unrouted.wma", BuildAsf(unrouted)},
        {"frames.mp3", SilentMpegFrames(5)},
        {"emptytag.mp3", Concatenate({BuildId3v2(3, {}, 32), SilentMpegFrames(1)})},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectOutcome(FilterFile(dir.Write(c.name, c.bytes)), {u"", u"", u"", u""});
    }
}

}  // namespace
}  // namespace trellan::test

namespace trellan::test {
namespace {

// Filters on several threads at once, each with its own editor, and one
// editor read from several threads: every thread sees the same results.
TEST(FilterFiles, SeveralThreadsAtOnce)
{
    TempDir dir;
    AsfContent asf;
    asf.title = u"Threaded";
    asf.extended = {AsfString(u"WM/Genre", u"Loop")};
    asf.metadata = {AsfString(u"Description", u"On a stream", 1)};
    const std::vector<std::string> paths = {
        dir.Write("a.wma", BuildAsf(asf)),
        dir.Write("b.mp3", Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"Parallel", Id3Encoding::utf16)}),
                                        SilentMpegFrames(2)})),
    };
    std::vector<FilterOutcome> expected;
    for (const std::string& path : paths)
        expected.push_back(FilterFile(path));

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 25; ++round) {
                const size_t which = (t + round) % paths.size();
                const FilterOutcome outcome = FilterFile(paths[which]);
                EXPECT_EQ(outcome.initResult, S_OK);
                EXPECT_EQ(outcome.bodyText, expected[which].bodyText);
                EXPECT_EQ(outcome.comments, expected[which].comments);
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    const OpenedEditor shared = OpenEditor(paths[0]);
    ASSERT_EQ(shared.openResult, S_OK);
    const auto info = shared.Info3();
    const auto names = NamesOf(ReadAllEx(info.Get(), 0xFFFF));
    threads.clear();
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 50; ++round)
                EXPECT_EQ(NamesOf(ReadAllEx(info.Get(), 0xFFFF)), names);
        });
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace
}  // namespace trellan::test
