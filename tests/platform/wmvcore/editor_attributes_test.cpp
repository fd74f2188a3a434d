// The TagLib editor on files the tests write: attribute names, types,
// values, streams, language indices and order.
#include "editor_access.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>

#include <cstring>

#include <zlib.h>

namespace trellan::test {
namespace {

using Names = std::vector<std::u16string>;

const GUID sampleGuid = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

AsfAttribute WithLanguage(AsfAttribute attribute, WORD language)
{
    attribute.language = language;
    return attribute;
}

AsfContent FullAsf()
{
    AsfContent content;
    content.title = u"Asf Title";
    content.author = u"Asf Author";
    content.copyright = u"(c) Asf";
    content.description = u"Asf Description";
    content.rating = u"PG";
    content.extended = {
        AsfString(u"WM/AlbumTitle", u"Asf Album"),
        AsfDword(u"WM/TrackNumber", 7),
        AsfBool(u"IsVBR", true, true),
        AsfQword(u"WM/Duration", 0x123456789ABCULL),
        AsfWord(u"WM/Rating", 0x2A),
        AsfBinary(u"WM/Blob", {1, 2, 3, 4, 5}),
        AsfString(u"WM/Genre", u"Jazz"),
    };
    content.metadata = {
        AsfString(u"WM/Composer", u"Stream Composer", 1),
        AsfBool(u"WM/StreamFlag", true, false, 1),
        AsfString(u"WM/Conductor", u"File Conductor", 0),
    };
    content.library = {
        WithLanguage(AsfString(u"WM/Mood", u"Calm", 1), 1),
        AsfGuid(u"WM/MediaClassPrimaryID", sampleGuid, 0),
    };
    return content;
}

TEST(EditorAttributes, AsfListsEveryObjectInFileOrderWithRuntimeTypes)
{
    TempDir dir;
    const OpenedEditor opened = OpenEditor(dir.Write("full.asf", BuildAsf(FullAsf())));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);

    struct Row {
        const char16_t* name;
        WMT_ATTR_DATATYPE type;
        size_t size;
        WORD language;
    };
    const Row expected[] = {
        {u"Duration", WMT_TYPE_QWORD, 8, 0},
        {u"Title", WMT_TYPE_STRING, sizeof(u"Asf Title"), 0},
        {u"Author", WMT_TYPE_STRING, sizeof(u"Asf Author"), 0},
        {u"Copyright", WMT_TYPE_STRING, sizeof(u"(c) Asf"), 0},
        {u"Description", WMT_TYPE_STRING, sizeof(u"Asf Description"), 0},
        {u"Rating", WMT_TYPE_STRING, sizeof(u"PG"), 0},
        {u"WM/AlbumTitle", WMT_TYPE_STRING, sizeof(u"Asf Album"), 0},
        {u"WM/TrackNumber", WMT_TYPE_DWORD, 4, 0},
        {u"IsVBR", WMT_TYPE_BOOL, 4, 0},
        {u"WM/Duration", WMT_TYPE_QWORD, 8, 0},
        {u"WM/Rating", WMT_TYPE_WORD, 2, 0},
        {u"WM/Blob", WMT_TYPE_BINARY, 5, 0},
        {u"WM/Genre", WMT_TYPE_STRING, sizeof(u"Jazz"), 0},
        {u"WM/Composer", WMT_TYPE_STRING, sizeof(u"Stream Composer"), 0},
        {u"WM/StreamFlag", WMT_TYPE_BOOL, 4, 0},
        {u"WM/Conductor", WMT_TYPE_STRING, sizeof(u"File Conductor"), 0},
        {u"WM/Mood", WMT_TYPE_STRING, sizeof(u"Calm"), 1},
        {u"WM/MediaClassPrimaryID", WMT_TYPE_GUID, 16, 0},
    };
    ASSERT_EQ(all.size(), std::size(expected));
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "attribute " << i);
        EXPECT_EQ(all[i].name, expected[i].name);
        EXPECT_EQ(all[i].type, expected[i].type);
        EXPECT_EQ(all[i].value.size(), expected[i].size);
        EXPECT_EQ(all[i].language, expected[i].language);
    }

    EXPECT_EQ(all[0].Qword(), 10000000u) << "the header's play length, 1 s";
    EXPECT_EQ(all[1].Text(), u"Asf Title");
    EXPECT_EQ(all[4].Text(), u"Asf Description");
    EXPECT_EQ(all[6].Text(), u"Asf Album");
    EXPECT_EQ(all[7].Dword(), 7u);
    EXPECT_EQ(all[8].Bool(), TRUE);
    EXPECT_EQ(all[9].Qword(), 0x123456789ABCULL);
    EXPECT_EQ(all[10].Word(), 0x2A);
    EXPECT_EQ(all[11].value, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(all[14].Bool(), TRUE) << "the 16-bit BOOL of the Metadata object becomes a 32-bit BOOL";
    EXPECT_EQ(all[16].Text(), u"Calm");
    ASSERT_EQ(all[17].value.size(), sizeof(GUID));
    EXPECT_EQ(std::memcmp(all[17].value.data(), &sampleGuid, sizeof(GUID)), 0);
}

TEST(EditorAttributes, AsfStreamsAreListedSeparatelyThroughLevelThree)
{
    TempDir dir;
    const OpenedEditor opened = OpenEditor(dir.Write("streams.wma", BuildAsf(FullAsf())));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto info = opened.Info3();

    struct Row {
        WORD stream;
        Names names;
    };
    const Row views[] = {
        {0,
         {u"Duration", u"Title", u"Author", u"Copyright", u"Description", u"Rating", u"WM/AlbumTitle", u"WM/TrackNumber",
          u"IsVBR", u"WM/Duration", u"WM/Rating", u"WM/Blob", u"WM/Genre", u"WM/Conductor",
          u"WM/MediaClassPrimaryID"}},
        {1, {u"WM/Composer", u"WM/StreamFlag", u"WM/Mood"}},
        {2, {}},
    };
    for (const Row& view : views) {
        SCOPED_TRACE(testing::Message() << "stream " << view.stream);
        EXPECT_EQ(NamesOf(ReadAllEx(info.Get(), view.stream)), view.names);
    }
    // Level 1 sees exactly the file-level attributes.
    EXPECT_EQ(NamesOf(ReadAllLevel1(opened.Info1().Get())), views[0].names);
}

TEST(EditorAttributes, AsfContentDescriptionListsOnlyTheFieldsThatAreSet)
{
    struct Case {
        const char* file;
        AsfContent content;
        Names names;
    };
    AsfContent titleOnly;
    titleOnly.title = u"Only";
    AsfContent authorAndRating;
    authorAndRating.author = u"Someone";
    authorAndRating.rating = u"R";
    AsfContent none;
    none.contentDescription = false;
    none.extended = {AsfString(u"WM/Year", u"1999")};
    AsfContent video;
    video.video = true;
    video.title = u"Clip";
    const Case cases[] = {
        {"title.asf", titleOnly, {u"Duration", u"Title"}},
        {"author.wma", authorAndRating, {u"Duration", u"Author", u"Rating"}},
        {"none.asf", none, {u"Duration", u"WM/Year"}},
        {"video.wmv", video, {u"Duration", u"Title"}},
        {"empty.asf", AsfContent{}, {u"Duration"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const OpenedEditor opened = OpenEditor(dir.Write(c.file, BuildAsf(c.content)));
        ASSERT_EQ(opened.openResult, S_OK);
        EXPECT_EQ(NamesOf(ReadAllEx(opened.Info3().Get(), 0xFFFF)), c.names);
    }
}

TEST(EditorAttributes, Id3v23FramesInFileOrderUnderRuntimeNames)
{
    const auto utf16 = Id3Encoding::utf16;
    const Bytes picture = {0x89, 'P', 'N', 'G', 1, 2, 3};
    const std::vector<Id3Frame> frames = {
        Id3Text("TPE1", u"Artist \u00C5", utf16),
        Id3Text("TIT2", u"Title \u266B", utf16),
        Id3Text("TALB", u"Album", utf16),
        Id3Text("TYER", u"2003", utf16),
        Id3Text("TCON", u"(17)", utf16),
        Id3Comment(u"", u"A comment", utf16),
        Id3Text("TCOP", u"(c) Owner", utf16),
        Id3Lyrics(u"La la la", utf16),
        Id3Text("TPUB", u"Publisher", utf16),
        Id3Text("TCOM", u"Composer", utf16),
        Id3Text("TPE2", u"Album Artist", utf16),
        Id3Text("TRCK", u"3/12", utf16),
        Id3Text("TPOS", u"1/2", utf16),
        Id3Text("TEXT", u"Lyricist", utf16),
        Id3Text("TENC", u"Encoder", utf16),
        Id3Text("TBPM", u"120", utf16),
        Id3Text("TKEY", u"Am", utf16),
        Id3Text("TLAN", u"eng", utf16),
        Id3Text("TSRC", u"USABC0300001", utf16),
        Id3UserText(u"CATALOG", u"CAT-1", utf16),
        Id3Text("TIT1", u"Grouping is not listed", utf16),
        Id3Picture("image/png", 3, u"Cover", picture),
    };
    TempDir dir;
    const OpenedEditor opened =
        OpenEditor(dir.Write("v23.mp3", Concatenate({BuildId3v2(3, frames, 64), SilentMpegFrames(2)})));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);

    struct Row {
        const char16_t* name;
        const char16_t* text;  // null: binary
    };
    const Row expected[] = {
        {u"Duration", nullptr},
        {u"Author", u"Artist \u00C5"},  {u"Title", u"Title \u266B"},    {u"WM/AlbumTitle", u"Album"},
        {u"WM/Year", u"2003"},          {u"WM/Genre", u"Rock"},         {u"Description", u"A comment"},
        {u"Copyright", u"(c) Owner"},   {u"WM/Lyrics", u"La la la"},    {u"WM/Publisher", u"Publisher"},
        {u"WM/Composer", u"Composer"},  {u"WM/AlbumArtist", u"Album Artist"}, {u"WM/TrackNumber", u"3/12"},
        {u"WM/PartOfSet", u"1/2"},      {u"WM/Writer", u"Lyricist"},    {u"WM/EncodedBy", u"Encoder"},
        {u"WM/BeatsPerMinute", u"120"}, {u"WM/InitialKey", u"Am"},      {u"WM/Language", u"eng"},
        {u"WM/ISRC", u"USABC0300001"},  {u"CATALOG", u"CAT-1"},         {u"WM/Picture", nullptr},
    };
    ASSERT_EQ(all.size(), std::size(expected));
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "attribute " << i);
        EXPECT_EQ(all[i].name, expected[i].name);
        EXPECT_EQ(all[i].language, 0);
        if (expected[i].text) {
            EXPECT_EQ(all[i].Text(), expected[i].text);
        }
    }

    // WM/Picture in the ASF layout: type, data length, MIME type, description, data.
    const ReadAttribute& pictureAttribute = all.back();
    EXPECT_EQ(pictureAttribute.type, WMT_TYPE_BINARY);
    Bytes expectedPicture = {3, BYTE(picture.size()), 0, 0, 0};
    for (char16_t unit : std::u16string(u"image/png")) {
        expectedPicture.push_back(BYTE(unit));
        expectedPicture.push_back(0);
    }
    expectedPicture.insert(expectedPicture.end(), {0, 0, 'C', 0, 'o', 0, 'v', 0, 'e', 0, 'r', 0, 0, 0});
    expectedPicture.insert(expectedPicture.end(), picture.begin(), picture.end());
    EXPECT_EQ(pictureAttribute.value, expectedPicture);

    // Everything is file-level: level 1 lists the same, stream 1 nothing.
    EXPECT_EQ(NamesOf(ReadAllLevel1(opened.Info1().Get())), NamesOf(all));
    EXPECT_TRUE(ReadAllEx(opened.Info3().Get(), 1).empty());
}

// A 0 after every 0xFF, as unsynchronisation writes it.
Bytes Unsynchronised(const Bytes& bytes)
{
    Bytes out;
    for (BYTE byte : bytes) {
        out.push_back(byte);
        if (byte == 0xFF)
            out.push_back(0);
    }
    return out;
}

// WM/Picture in the ASF layout: type, data length, MIME type, description, data.
Bytes PictureValue(BYTE type, const std::u16string& mime, const std::u16string& description, const Bytes& data)
{
    Bytes value = {type};
    for (int i = 0; i < 4; ++i)
        value.push_back(BYTE(data.size() >> (8 * i)));
    for (const std::u16string& text : {mime, description}) {
        for (char16_t unit : text)
            value.insert(value.end(), {BYTE(unit), BYTE(unit >> 8)});
        value.insert(value.end(), {0, 0});
    }
    value.insert(value.end(), data.begin(), data.end());
    return value;
}

// A picture's data is read from the file when it is asked for, in every
// layout that stores it: unsynchronised with the whole tag (2.3) or on its
// own with a data-length indicator (2.4), a 2.2 PIC frame, a compressed
// frame (kept whole); the frames after it are read as ever.
TEST(EditorAttributes, PicturesAreReadFromTheFileInEveryLayout)
{
    Bytes data = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0xFF, 0, 0, 0xFF};
    for (int i = 0; i < 3000; ++i)
        data.push_back(BYTE(i * 7));
    data.push_back(0xFF);
    const Id3Frame apic = Id3Picture("image/jpeg", 3, u"Front", data);
    Id3Frame pic = apic;
    pic.id = "PIC";
    pic.body = {0, 'J', 'P', 'G', 3, 'F', 'r', 'o', 'n', 't', 0};
    pic.body.insert(pic.body.end(), data.begin(), data.end());
    Id3Frame unsynchronisedFrame = apic;  // with a data-length indicator
    const DWORD length = static_cast<DWORD>(apic.body.size());
    unsynchronisedFrame.body = {BYTE(length >> 21 & 0x7F), BYTE(length >> 14 & 0x7F), BYTE(length >> 7 & 0x7F),
                                BYTE(length & 0x7F)};
    const Bytes encoded = Unsynchronised(apic.body);
    unsynchronisedFrame.body.insert(unsynchronisedFrame.body.end(), encoded.begin(), encoded.end());
    unsynchronisedFrame.flags = 0x0003;
    Id3Frame compressed = apic;
    uLongf size = compressBound(static_cast<uLong>(apic.body.size()));
    Bytes stream(size);
    ASSERT_EQ(compress2(stream.data(), &size, apic.body.data(), static_cast<uLong>(apic.body.size()), 9), Z_OK);
    compressed.body = {BYTE(length >> 24), BYTE(length >> 16), BYTE(length >> 8), BYTE(length)};
    compressed.body.insert(compressed.body.end(), stream.begin(), stream.begin() + static_cast<ptrdiff_t>(size));
    compressed.flags = 0x0080;

    const Id3Frame after = Id3Text("TPE1", u"After", Id3Encoding::latin1);
    Id3Frame after2 = after;
    after2.id = "TP1";
    struct Case {
        const char* what;
        Bytes tag;
    };
    const Case cases[] = {
        {"2.3", BuildId3v2(3, {apic, after}, 8)},
        {"2.3 unsynchronised", BuildId3v2(3, {apic, after}, 8, true)},
        {"2.4 unsynchronised frame", BuildId3v2(4, {unsynchronisedFrame, after}, 8)},
        {"2.2", BuildId3v2(2, {pic, after2}, 8)},
        {"2.3 compressed", BuildId3v2(3, {compressed, after}, 8)},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpenedEditor opened = OpenEditor(dir.Write("picture.mp3", Concatenate({c.tag, SilentMpegFrames(2)})));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"WM/Picture", u"Author"}));
        EXPECT_EQ(all[1].value, PictureValue(3, u"image/jpeg", u"Front", data));
        EXPECT_EQ(all[2].Text(), u"After");
    }
}

TEST(EditorAttributes, Id3v24Utf8TextsAndRecordingTimes)
{
    const auto utf8 = Id3Encoding::utf8;
    const std::vector<Id3Frame> frames = {
        Id3Text("TIT2", u"Zw\u00F6lf \U0001F3B5", utf8),
        Id3Text("TPE1", std::u16string(u"First") + u'\0' + u"Second", utf8),
        Id3Text("TDRC", u"2004-05-06T07:08", utf8),
        Id3Text("TCON", std::u16string(u"8") + u'\0' + u"Fusion", utf8),
        Id3Comment(u"", u"Kommentar", utf8),
    };
    TempDir dir;
    const OpenedEditor opened =
        OpenEditor(dir.Write("v24.mp3", Concatenate({BuildId3v2(4, frames), SilentMpegFrames(3)})));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
    ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"Title", u"Author", u"WM/Year", u"WM/Genre", u"Description"}));
    EXPECT_EQ(all[1].Text(), u"Zw\u00F6lf \U0001F3B5");
    EXPECT_EQ(all[2].Text(), u"First; Second");
    EXPECT_EQ(all[3].Text(), u"2004");
    EXPECT_EQ(all[4].Text(), u"Jazz; Fusion");
    EXPECT_EQ(all[5].Text(), u"Kommentar");
}

TEST(EditorAttributes, Id3v22FramesMachineCommentsAndYears)
{
    TempDir dir;
    {
        // ID3v2.2: three-letter frame ids, which TagLib names as in 2.4.
        Id3Frame comment = Id3Comment(u"", u"Old style", Id3Encoding::latin1);
        comment.id = "COM";
        const Bytes tag = BuildId3v2(2, {Id3Text("TT2", u"Two Two", Id3Encoding::latin1),
                                         Id3Text("TP1", u"Old Artist", Id3Encoding::utf16), comment});
        const OpenedEditor opened = OpenEditor(dir.Write("v22.mp3", Concatenate({tag, SilentMpegFrames(2)})));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"Title", u"Author", u"Description"}));
        EXPECT_EQ(all[1].Text(), u"Two Two");
        EXPECT_EQ(all[2].Text(), u"Old Artist");
        EXPECT_EQ(all[3].Text(), u"Old style");
    }
    {
        // Comments that hold iTunes' machine data are not listed; the
        // comment is the first without a description, else the first with
        // one.
        const auto latin1 = Id3Encoding::latin1;
        struct Case {
            std::vector<Id3Frame> frames;
            const char16_t* comment;
        };
        const Case cases[] = {
            {{Id3Comment(u"iTunNORM", u" 0000044E 00000000", latin1), Id3Comment(u"", u"Real comment", latin1),
              Id3Comment(u"iTunSMPB", u" 00000000 00000210", latin1), Id3Comment(u"Notes", u"Named comment", latin1)},
             u"Real comment"},
            {{Id3Comment(u"Notes", u"Named first", latin1), Id3Comment(u"", u"Plain second", latin1),
              Id3Comment(u"", u"Plain third", latin1)},
             u"Plain second"},
            {{Id3Comment(u"Notes", u"Only named", latin1), Id3Comment(u"More", u"Named again", latin1)}, u"Only named"},
        };
        for (const Case& c : cases) {
            const OpenedEditor opened =
                OpenEditor(dir.Write("comments.mp3", Concatenate({BuildId3v2(3, c.frames), SilentMpegFrames(2)})));
            ASSERT_EQ(opened.openResult, S_OK);
            const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
            ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"Description"}));
            EXPECT_EQ(all[1].Text(), c.comment);
        }
    }
    {
        // WM/Year is the year of a recording time; other texts stay as they are.
        struct Case {
            const char16_t* recorded;
            const char16_t* year;
        };
        const Case cases[] = {
            {u"2004", u"2004"},       {u"2004-05", u"2004"},   {u"2004-05-06T07:08:09", u"2004"},
            {u"04-05-2004", u"04-05-2004"}, {u"circa 1900", u"circa 1900"},
        };
        for (const Case& c : cases) {
            const Bytes tag = BuildId3v2(4, {Id3Text("TDRC", c.recorded, Id3Encoding::utf8)});
            const OpenedEditor opened = OpenEditor(dir.Write("year.mp3", Concatenate({tag, SilentMpegFrames(2)})));
            ASSERT_EQ(opened.openResult, S_OK);
            const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
            ASSERT_EQ(all.size(), 2u);
            EXPECT_EQ(all[1].Text(), c.year);
        }
    }
}

TEST(EditorAttributes, GenreReferencesResolveToNames)
{
    struct Case {
        int version;
        std::u16string text;
        const char16_t* genre;
    };
    const Case cases[] = {
        {3, u"(17)", u"Rock"},
        {3, u"17", u"Rock"},
        {3, u"(17)Rock", u"Rock"},
        {3, u"(4)Eurodisco", u"Disco; Eurodisco"},
        {3, u"(9)(13)", u"Metal; Pop"},
        {3, u"(RX)", u"Remix"},
        {3, u"(CR)", u"Cover"},
        {3, u"Chiptune", u"Chiptune"},
        {3, u"(250)", u""},  // no such genre number: no genre
        {4, u"0", u"Blues"},
        {4, u"Shoegaze", u"Shoegaze"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ID3v2." << c.version << " TCON of " << c.text.size() << " units");
        const Bytes tag = BuildId3v2(c.version, {Id3Text("TCON", c.text, Id3Encoding::latin1)});
        const OpenedEditor opened = OpenEditor(dir.Write("genre.mp3", Concatenate({tag, SilentMpegFrames(2)})));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(all[1].name, u"WM/Genre");
        EXPECT_EQ(all[1].Text(), c.genre);
    }
}

TEST(EditorAttributes, Id3v1FieldsFillWhatTheId3v2TagLacks)
{
    Id3v1Fields fields;
    fields.title = "Old Title";
    fields.artist = "Old Artist";
    fields.album = "Old Album";
    fields.year = "1987";
    fields.comment = "Old comment";
    fields.track = 5;
    fields.genre = 8;  // Jazz
    TempDir dir;

    {
        const OpenedEditor opened =
            OpenEditor(dir.Write("v1.mp3", Concatenate({SilentMpegFrames(3), BuildId3v1(fields)})));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        struct Row {
            const char16_t* name;
            const char16_t* text;
        };
        const Row expected[] = {
            {u"Duration", nullptr},     {u"Title", u"Old Title"},   {u"Author", u"Old Artist"}, {u"WM/AlbumTitle", u"Old Album"},
            {u"WM/Year", u"1987"},      {u"Description", u"Old comment"}, {u"WM/Genre", u"Jazz"},
            {u"WM/TrackNumber", u"5"},
        };
        ASSERT_EQ(all.size(), std::size(expected));
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(all[i].name, expected[i].name);
            if (expected[i].text) {
                EXPECT_EQ(all[i].Text(), expected[i].text);
            }
        }
    }
    {
        // Blank ID3v1 fields are not listed.
        Id3v1Fields sparse;
        sparse.title = "Just a title";
        const OpenedEditor opened =
            OpenEditor(dir.Write("sparse.mp3", Concatenate({SilentMpegFrames(1), BuildId3v1(sparse)})));
        ASSERT_EQ(opened.openResult, S_OK);
        EXPECT_EQ(NamesOf(ReadAllEx(opened.Info3().Get(), 0xFFFF)), (Names{u"Duration", u"Title"}));
    }
    {
        // With an ID3v2 tag, the ID3v1 fields fill what it lacks, after its
        // frames.
        const Bytes file = Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"New Title", Id3Encoding::latin1),
                                                       Id3Text("TALB", u"", Id3Encoding::latin1)}),
                                        SilentMpegFrames(2), BuildId3v1(fields)});
        const OpenedEditor opened = OpenEditor(dir.Write("both.mp3", file));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"Title", u"WM/AlbumTitle", u"Author", u"WM/AlbumTitle",
                                       u"WM/Year", u"Description", u"WM/Genre", u"WM/TrackNumber"}));
        EXPECT_EQ(all[1].Text(), u"New Title");
        EXPECT_EQ(all[4].Text(), u"Old Album") << "an empty frame is no value";
    }
}

TEST(EditorAttributes, FormatIsToldByContentNotByExtension)
{
    AsfContent asf;
    asf.title = u"Asf inside";
    const Bytes mp3 = Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"Mp3 inside", Id3Encoding::latin1)}),
                                   SilentMpegFrames(2)});
    struct Case {
        const char* file;
        Bytes bytes;
        const char16_t* title;
    };
    const Case cases[] = {
        {"asf-named.mp3", BuildAsf(asf), u"Asf inside"},
        {"mp3-named.wma", mp3, u"Mp3 inside"},
        {"no-extension", mp3, u"Mp3 inside"},
        {"upper.WMV", BuildAsf(asf), u"Asf inside"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const OpenedEditor opened = OpenEditor(dir.Write(c.file, c.bytes));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(NamesOf(all), (Names{u"Duration", u"Title"}));
        EXPECT_EQ(all[1].Text(), c.title);
    }
}

// The play length comes first, on stream 0, as a QWORD of 100-ns units: for
// MPEG audio from a Xing header or else the first frame's bit rate over the
// audio before the tags at the end, for ASF the play duration less the
// preroll; none when it cannot be told.
TEST(EditorAttributes, DurationIsThePlayLengthAndComesFirst)
{
    const QWORD millisecond = 10000;
    const Bytes tag = BuildId3v2(3, {Id3Text("TIT2", u"Timed", Id3Encoding::latin1)});
    AsfContent asf;
    asf.title = u"Timed";
    AsfContent preroll = asf;
    preroll.playDuration = 35000000;  // 3.5 s, of which 3 s preroll
    preroll.preroll = 3000;
    AsfContent untimed = asf;
    untimed.playDuration = 0;
    AsfContent prerollOnly = preroll;
    prerollOnly.preroll = 4000;
    Id3v1Fields v1;
    v1.title = "Timed";
    struct Case {
        const char* what;
        Bytes file;
        QWORD duration;  // 0: none
    };
    const Case cases[] = {
        {"one frame", SilentMpegFrames(1), 24 * millisecond},
        {"two frames", SilentMpegFrames(2), 48 * millisecond},
        {"ten frames", SilentMpegFrames(10), 240 * millisecond},
        {"ID3v2, frames, APE and ID3v1",
         Concatenate({tag, SilentMpegFrames(10), BuildApe({ApeText("Artist", "A")}), BuildId3v1(v1)}),
         240 * millisecond},
        {"a Xing header", Concatenate({tag, XingMpegFrame(1000, 96000), SilentMpegFrames(9)}), 24000 * millisecond},
        {"a tag alone", tag, 0},
        {"a tag and no frames", Concatenate({tag, Bytes(4000, 0x55)}), 0},
        {"ASF", BuildAsf(asf), 1000 * millisecond},
        {"ASF with a preroll", BuildAsf(preroll), 500 * millisecond},
        {"ASF without a play duration", BuildAsf(untimed), 0},
        {"ASF with a preroll longer than it", BuildAsf(prerollOnly), 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpenedEditor opened = OpenEditor(dir.Write("timed", c.file));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0);
        EXPECT_EQ(Find(all, u"Duration") != nullptr, c.duration != 0);
        if (c.duration == 0)
            continue;
        EXPECT_EQ(all[0].name, u"Duration");
        EXPECT_EQ(all[0].type, WMT_TYPE_QWORD);
        EXPECT_EQ(all[0].language, 0);
        EXPECT_EQ(all[0].Qword(), c.duration);
    }
}

}  // namespace
}  // namespace trellan::test
