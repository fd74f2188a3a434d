// Files that are missing, unreadable, not media files, truncated or
// damaged: the editor refuses them with an error code, and the filter
// answers FILTER_E_ACCESS and still walks its four empty chunks. Nothing
// crashes and nothing waits.
#include "editor_access.h"
#include "filter_walk.h"
#include "support/media_writer.h"
#include "support/text.h"

#include <win32/seams.h>

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include <zlib.h>

namespace trellan::test {
namespace {

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PngBytes()
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                 0,    0,   0,   1,   0,    0,    0,    1,    8, 2, 0, 0,  0,   0x90, 0x77, 0x53, 0xDE};
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i)
        png.push_back(BYTE(random()));
    return png;
}

Bytes ValidAsf()
{
    AsfContent content;
    content.title = u"Intact";
    content.author = u"Someone";
    content.extended = {AsfString(u"WM/AlbumTitle", u"Album"), AsfDword(u"WM/TrackNumber", 1)};
    content.metadata = {AsfString(u"WM/Composer", u"Composer", 1)};
    content.library = {AsfString(u"WM/Year", u"2000", 1)};
    return BuildAsf(content);
}

// The size of the ASF Header Object, from its own size field.
size_t AsfHeaderSize(const Bytes& asf)
{
    size_t size = 0;
    for (int i = 7; i >= 0; --i)
        size = (size << 8) | asf[16 + i];
    return size;
}

// Offset of the first child object of the given id's first four bytes
// (little-endian Data1) inside the Header Object.
size_t FindObject(const Bytes& asf, DWORD data1)
{
    for (size_t i = 30; i + 24 <= asf.size(); ++i)
        if (asf[i] == BYTE(data1) && asf[i + 1] == BYTE(data1 >> 8) && asf[i + 2] == BYTE(data1 >> 16) &&
            asf[i + 3] == BYTE(data1 >> 24))
            return i;
    ADD_FAILURE() << "object not found";
    return 0;
}

Bytes With(Bytes bytes, size_t offset, std::initializer_list<BYTE> replacement)
{
    std::copy(replacement.begin(), replacement.end(), bytes.begin() + offset);
    return bytes;
}

Bytes Truncated(const Bytes& bytes, size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

// A damaged file, how Open answers it and what the filter then reads.
struct Case {
    Case(const char* what, Bytes bytes, HRESULT openResult = NS_E_INVALID_INPUT_FORMAT, std::u16string title = u"",
         std::u16string author = u"")
        : what(what), bytes(std::move(bytes)), openResult(openResult), title(std::move(title)), author(std::move(author))
    {
    }
    const char* what;
    Bytes bytes;
    HRESULT openResult;
    std::u16string title, author;
};

Bytes ValidId3v2()
{
    return BuildId3v2(3, {Id3Text("TIT2", u"Intact", Id3Encoding::latin1),
                          Id3Text("TPE1", u"Someone", Id3Encoding::latin1)},
                      16);
}

void ExpectRefusedByFilter(const std::string& path)
{
    const FilterOutcome outcome = FilterFile(path);
    EXPECT_EQ(outcome.initResult, FILTER_E_ACCESS);
    EXPECT_EQ(outcome.bodyText, u"");
    EXPECT_EQ(outcome.title, u"");
    EXPECT_EQ(outcome.author, u"");
    EXPECT_EQ(outcome.comments, u"");
}

template <size_t count>
void ExpectDamageRead(const Case (&cases)[count], const char* name)
{
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write(name, c.bytes);
        EXPECT_EQ(OpenEditor(path).openResult, c.openResult);
        if (FAILED(c.openResult))
            ExpectRefusedByFilter(path);
        const FilterOutcome outcome = FilterFile(path);
        EXPECT_EQ(outcome.title, c.title);
        EXPECT_EQ(outcome.author, c.author);
    }
}

TEST(BadInput, PathsThatAreNotReadableFiles)
{
    TempDir dir;
    const std::string fifo = dir.PathOf("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string sub = dir.PathOf("folder.wma");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);

    struct Case {
        const char* what;
        std::string path;
        HRESULT openResult;
    };
    const Case cases[] = {
        {"missing file", dir.PathOf("missing.mp3"), NS_E_FILE_NOT_FOUND},
        {"missing folder", dir.PathOf("nowhere/song.wma"), NS_E_FILE_NOT_FOUND},
        {"file as folder", dir.Write("plain.txt", TextBytes("x")) + "/song.mp3", NS_E_FILE_NOT_FOUND},
        {"empty path", "", NS_E_FILE_NOT_FOUND},
        {"directory", sub, NS_E_FILE_OPEN_FAILED},
        {"named pipe", fifo, NS_E_FILE_OPEN_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(OpenEditor(c.path).openResult, c.openResult);
        ExpectRefusedByFilter(c.path);
    }

    if (geteuid() != 0) {  // root reads everything
        const std::string locked = dir.Write("locked.mp3", Concatenate({ValidId3v2(), SilentMpegFrames(2)}));
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(OpenEditor(locked).openResult, E_ACCESSDENIED);
        ExpectRefusedByFilter(locked);
    }
}

TEST(BadInput, ContentThatIsNotMedia)
{
    std::mt19937 random(11);
    Bytes noise(4096);
    for (BYTE& byte : noise)
        byte = BYTE(random() % 0xE0);  // no frame syncs
    Bytes textEndingInTag = TextBytes(std::string(300, 'a'));
    textEndingInTag[300 - 128] = 'T';
    textEndingInTag[300 - 127] = 'A';
    textEndingInTag[300 - 126] = 'G';
    textEndingInTag[300 - 100] = '\n';  // a control character inside the "title"

    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty.mp3", {}},
        {"empty.wma", {}},
        {"one-byte.asf", {0x30}},
        {"text.mp3", TextBytes("These are not the droids you are looking for.\nJust text.\n")},
        {"text.wma", TextBytes(std::string(5000, 'x'))},
        {"picture.wmv", PngBytes()},
        {"picture.mp3", PngBytes()},
        {"noise.asf", noise},
        {"tag-in-text.mp3", textEndingInTag},
        {"id3-only-magic.mp3", TextBytes("ID3")},
        {"lone-sync.mp3", {0xFF, 0xFB, 0x14, 0xC0, 'a', 'b', 'c'}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write(c.name, c.bytes);
        EXPECT_EQ(OpenEditor(path).openResult, NS_E_INVALID_INPUT_FORMAT);
        ExpectRefusedByFilter(path);
    }
}

TEST(BadInput, DamagedAsfHeaders)
{
    const Bytes asf = ValidAsf();
    const size_t headerSize = AsfHeaderSize(asf);
    const size_t contentDescription = FindObject(asf, 0x75B22633);
    const size_t extended = FindObject(asf, 0xD2D0A440);
    const size_t extension = FindObject(asf, 0x5FBF03B5);
    const size_t metadata = FindObject(asf, 0xC5F8CBEA);

    // A damaged object or record costs itself and what cannot be found after
    // it in its parent, never what comes before it.
    const Case cases[] = {
        {"header object only", Truncated(asf, 30)},
        {"cut inside the header", Truncated(asf, headerSize / 2)},
        {"cut one byte short of the header", Truncated(asf, headerSize - 1)},
        {"header size beyond the file", With(asf, 16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0})},
        {"header size below its fixed part", With(asf, 16, {29, 0, 0, 0, 0, 0, 0, 0})},
        {"first object running past the header", With(asf, 30 + 16, {0xF0, 0xFF, 0, 0, 0, 0, 0, 0})},
        {"more objects than the header holds", With(asf, 24, {40, 0, 0, 0}), S_OK, u"Intact", u"Someone"},
        {"child object smaller than its own header", With(asf, contentDescription + 16, {8, 0, 0, 0, 0, 0, 0, 0}), S_OK},
        {"child object running past the header", With(asf, contentDescription + 16, {0xF0, 0xFF, 0, 0, 0, 0, 0, 0}), S_OK},
        {"description lengths past the object", With(asf, contentDescription + 24, {0xFF, 0x7F}), S_OK},
        {"extended records past the object", With(asf, extended + 24, {0xFF, 0x00}), S_OK, u"Intact", u"Someone"},
        {"extension data size past the object", With(asf, extension + 24 + 18, {0xFF, 0xFF, 0, 0}), S_OK, u"Intact", u"Someone"},
        {"metadata records past the object", With(asf, metadata + 24, {0x30, 0x00}), S_OK, u"Intact", u"Someone"},
        {"metadata value length past the object", With(asf, metadata + 24 + 2 + 8, {0xFF, 0xFF, 0xFF, 0x7F}), S_OK, u"Intact", u"Someone"},
    };
    ExpectDamageRead(cases, "damaged.wma");

    // The header complete but the file cut inside the Data Object: the
    // header is intact, so the file opens.
    TempDir dir;
    const std::string path = dir.Write("short-data.wma", Truncated(asf, headerSize + 10));
    EXPECT_EQ(OpenEditor(path).openResult, S_OK);
}

TEST(BadInput, DamagedId3v2Tags)
{
    const Bytes tag = ValidId3v2();
    const Bytes mp3 = Concatenate({tag, SilentMpegFrames(3)});
    const size_t firstFrame = 10;
    const size_t secondFrame = firstFrame + 10 + 1 + std::string("Intact").size();
    const Bytes audio = SilentMpegFrames(3);
    const auto latin = [](const char* id, const std::u16string& text) { return Id3Text(id, text, Id3Encoding::latin1); };
    const Bytes threeFrames = BuildId3v2(3, {latin("TIT2", u"Intact"), latin("TPE1", u"Someone"), latin("TALB", u"A")}, 16);
    const Bytes badEncoding = With(Concatenate({tag, audio}), firstFrame + 10, {7});

    const Case cases[] = {
        {"header only", Truncated(tag, 10)},
        {"cut inside the tag", Truncated(tag, tag.size() - 5)},
        {"tag size beyond the file", With(mp3, 6, {0x7F, 0x7F, 0x7F, 0x7F})},
        {"size byte with the high bit", With(mp3, 6, {0x80, 0, 0, 0x20})},
        {"unknown major version", With(mp3, 3, {5})},
        {"undefined flag", With(mp3, 5, {0x01})},
        {"first frame past the tag, nothing else", With(tag, firstFrame + 4, {0, 0, 0x10, 0})},
        {"first frame id not a frame", With(mp3, firstFrame, {'t', 'i', '#', '2'}), S_OK, u"", u"Someone"},
        {"frame size past the tag", With(mp3, firstFrame + 4, {0, 0, 0x10, 0}), S_OK},
        {"second frame size past the tag", With(mp3, secondFrame + 4, {0x7F, 0, 0, 0}), S_OK, u"Intact"},
        {"third frame size past the tag", Concatenate({With(threeFrames, 45 + 4, {0, 0, 0x10, 0}), audio}), S_OK,
         u"Intact", u"Someone"},
        {"id padded with a space", Concatenate({BuildId3v2(3, {latin("TIT2", u"Intact"), latin("TCP ", u"x"),
                                                                latin("TPE1", u"Someone")}), audio}),
         S_OK, u"Intact", u"Someone"},
        {"2.2 id in lower case", Concatenate({BuildId3v2(2, {latin("TT2", u"Intact"), latin("tcp", u"x"),
                                                               latin("TP1", u"Someone")}), audio}),
         S_OK, u"Intact", u"Someone"},
        {"bad id whose size lands in text", With(With(mp3, secondFrame, {'T', 'P', 'E', ' '}), secondFrame + 4, {0, 0, 0, 3}),
         S_OK, u"Intact"},
        {"text encoding no version defines", badEncoding, S_OK, u"", u"Someone"},
    };
    ExpectDamageRead(cases, "damaged.mp3");
}

Bytes Compressed(const Bytes& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

// A 2.3 frame compressed with zlib: the inflated size, then the stream.
Id3Frame CompressedFrame(const std::string& id, const Bytes& data, size_t cut = 0)
{
    const DWORD size = static_cast<DWORD>(data.size());
    Bytes body = {BYTE(size >> 24), BYTE(size >> 16), BYTE(size >> 8), BYTE(size)};
    const Bytes stream = Compressed(data);
    body.insert(body.end(), stream.begin(), stream.end() - static_cast<ptrdiff_t>(cut));
    return {id, body, 0x0080};
}

// Frames of a 2.3 tag: `count` copies of TPE1 "x".
std::vector<Id3Frame> ManyFrames(size_t count)
{
    return std::vector<Id3Frame>(count, Id3Text("TPE1", u"x", Id3Encoding::latin1));
}

// The editor's limits: 65,535 attributes, 16 MiB for one value and 32 MiB
// for all values (inflated, for compressed frames), 32 MiB of header, all
// counting what the editor keeps. Over them a file is refused, not cut, with
// a code of its own; at them it opens whole. A tag of any size whose bytes
// are not kept (padding) opens.
TEST(BadInput, FilesOverTheLimitsAreRefused)
{
    const HRESULT overLimit = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    const size_t mebibyte = 1024 * 1024;
    AsfContent fullAsf;
    fullAsf.contentDescription = false;
    fullAsf.extended.assign(0xFFFF, AsfString(u"WM/Mood", u"x"));
    AsfContent overfullAsf = fullAsf;
    overfullAsf.metadata = {AsfString(u"WM/Mood", u"one more")};
    const auto latinText = [](size_t length, BYTE letter) {  // a text frame's data: the encoding, then the text
        Bytes data(length, letter);
        data[0] = 0;
        return data;
    };

    struct Case {
        const char* what;
        Bytes bytes;
        size_t sparseSize;  // the file is extended with zeros to this size
        HRESULT openResult;
        WORD count;
    };
    const Case cases[] = {
        {"65,535 ID3v2 frames", Concatenate({BuildId3v2(3, ManyFrames(0xFFFF)), SilentMpegFrames(1)}), 0, S_OK, 0xFFFF},
        {"65,536 ID3v2 frames", Concatenate({BuildId3v2(3, ManyFrames(0x10000)), SilentMpegFrames(1)}), 0,
         overLimit, 0},
        {"65,535 ASF records", BuildAsf(fullAsf), 0, S_OK, 0xFFFF},
        {"65,536 ASF records", BuildAsf(overfullAsf), 0, overLimit, 0},
        {"a frame inflating past 16 MiB",
         BuildId3v2(3, {CompressedFrame("TIT2", Bytes(16 * mebibyte + 1, 'a'))}), 0, overLimit, 0},
        {"frames inflating past 32 MiB together",
         BuildId3v2(3, {CompressedFrame("TIT2", latinText(12 * mebibyte, 'a')), CompressedFrame("TPE1", latinText(12 * mebibyte, 'b')),
                        CompressedFrame("TALB", latinText(12 * mebibyte, 'c'))}),
         0, overLimit, 0},
        {"a compressed frame cut short is left out", BuildId3v2(3, {CompressedFrame("TIT2", Bytes(5000, 'a'), 10)}), 0,
         S_OK, 0},
        {"a tag of 32 MiB", {'I', 'D', '3', 3, 0, 0, 0x0F, 0x7F, 0x7F, 0x76}, 32 * mebibyte, S_OK, 0},
        {"a tag of 256 MiB", {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, 256 * mebibyte + 10, S_OK, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write("limits", c.bytes);
        if (c.sparseSize) {
            ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(c.sparseSize)), 0);
        }
        const OpenedEditor opened = OpenEditor(path);
        EXPECT_EQ(opened.openResult, c.openResult);
        WORD count = 0;
        if (SUCCEEDED(opened.openResult)) {
            EXPECT_EQ(opened.Info3()->GetAttributeCountEx(0xFFFF, &count), S_OK);
            EXPECT_EQ(count, c.count);
        }
    }
}

// Writes `parts` one after the other, each followed by its gap of zero bytes
// that is not written: a sparse file, so that tests of tags of many MiB cost
// little.
std::string WriteWithGaps(const TempDir& dir, const std::string& name, const std::vector<std::pair<Bytes, DWORD>>& parts)
{
    const std::string path = dir.PathOf(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    uint64_t at = 0;
    for (const auto& [bytes, gap] : parts) {
        out.seekp(static_cast<std::streamoff>(at));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        at += bytes.size() + gap;
    }
    out.close();
    EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(at)), 0);
    return path;
}

// An MP3 file whose ID3v2.3 tag holds each frame with `gap` more bytes of
// data than written (zeros), then `after`.
std::string WriteLargeTag(const TempDir& dir, const std::string& name, const std::vector<std::pair<Id3Frame, DWORD>>& frames,
                          const Bytes& after = SilentMpegFrames(2))
{
    std::vector<std::pair<Bytes, DWORD>> parts = {{{}, 0}};
    uint64_t bodySize = 16;  // the padding
    for (const auto& [frame, gap] : frames) {
        Bytes bytes = BuildId3v2(3, {frame});
        bytes.erase(bytes.begin(), bytes.begin() + 10);
        const DWORD size = static_cast<DWORD>(frame.body.size()) + gap;
        bytes[4] = BYTE(size >> 24), bytes[5] = BYTE(size >> 16), bytes[6] = BYTE(size >> 8), bytes[7] = BYTE(size);
        bodySize += bytes.size() + gap;
        parts.push_back({bytes, gap});
    }
    parts.push_back({Concatenate({Bytes(16, 0), after}), 0});
    const DWORD body = static_cast<DWORD>(bodySize);
    parts[0].first = {'I', 'D', '3', 3, 0, 0, BYTE(body >> 21 & 0x7F), BYTE(body >> 14 & 0x7F), BYTE(body >> 7 & 0x7F),
                      BYTE(body & 0x7F)};
    return WriteWithGaps(dir, name, parts);
}

// A WMA file whose Metadata Library holds a WM/Picture with `gap` more bytes
// of data than written.
std::string WriteLargeAsfPicture(const TempDir& dir, const std::string& name, DWORD gap)
{
    AsfContent content;
    content.title = u"Cover inside";
    content.library = {AsfBinary(u"WM/Picture", {3, 0, 0, 0, 0, 'i', 0, 0, 0, 0, 0})};
    Bytes asf = BuildAsf(content);
    const size_t headerSize = AsfHeaderSize(asf);
    const size_t extension = FindObject(asf, 0x5FBF03B5);
    const size_t library = FindObject(asf, 0x44231C94);
    auto grow = [&](size_t at, int bytes) {
        QWORD value = 0;
        std::memcpy(&value, &asf[at], bytes);
        value += gap;
        std::memcpy(&asf[at], &value, bytes);
    };
    grow(16, 8);                  // the Header Object
    grow(extension + 16, 8);      // the Header Extension
    grow(extension + 24 + 18, 4); // its data
    grow(library + 16, 8);        // the Metadata Library
    grow(library + 24 + 2 + 8, 4);  // the record's value
    return WriteWithGaps(dir, name,
                         {{Bytes(asf.begin(), asf.begin() + headerSize), gap}, {Bytes(asf.begin() + headerSize, asf.end()), 0}});
}

// Pictures, objects and private data are left in the file: whatever their
// size, the file opens with every attribute, and a picture's value is read
// whole when it is asked for.
TEST(BadInput, LargeBinaryFramesAreLeftInTheFile)
{
    const DWORD mebibyte = 1024 * 1024;
    const Id3Frame title = Id3Text("TIT2", u"Cover story", Id3Encoding::latin1);
    const Id3Frame artist = Id3Text("TPE1", u"The Scanners", Id3Encoding::latin1);
    const Id3Frame picture = Id3Picture("image/png", 3, u"Front", {0x89, 'P', 'N', 'G'});
    const Id3Frame object = {"GEOB", {0, 'a', '/', 'b', 0, 'f', 0, 'd', 0}};
    const Id3Frame secret = {"PRIV", {'o', 'w', 'n', 'e', 'r', 0}};
    TempDir dir;
    struct Case {
        const char* what;
        std::string path;
        std::vector<std::u16string> names;
        uint64_t pictureBytes;  // the first picture's value, whole
    };
    const std::vector<std::u16string> v2 = {u"Duration", u"Title", u"WM/Picture", u"Author"};
    const Case cases[] = {
        {"a picture of 20 MiB", WriteLargeTag(dir, "20.mp3", {{title, 0}, {picture, 20 * mebibyte}, {artist, 0}}), v2,
         20 * mebibyte + 4 + 1 + 4 + 20 + 12},
        {"pictures of 70 MiB", WriteLargeTag(dir, "70.mp3", {{title, 0}, {picture, 40 * mebibyte}, {picture, 30 * mebibyte},
                                                             {artist, 0}}),
         {u"Duration", u"Title", u"WM/Picture", u"WM/Picture", u"Author"}, 0},
        {"three scans of 12 MiB",
         WriteLargeTag(dir, "scans.mp3", {{picture, 12 * mebibyte}, {picture, 12 * mebibyte}, {picture, 12 * mebibyte},
                                          {title, 0}}),
         {u"Duration", u"WM/Picture", u"WM/Picture", u"WM/Picture", u"Title"}, 0},
        {"an object of 50 MiB", WriteLargeTag(dir, "geob.mp3", {{title, 0}, {object, 50 * mebibyte}, {artist, 0}}),
         {u"Duration", u"Title", u"Author"}, 0},
        {"private data of 20 MiB", WriteLargeTag(dir, "priv.mp3", {{secret, 20 * mebibyte}, {title, 0}, {artist, 0}}),
         {u"Duration", u"Title", u"Author"}, 0},
        {"a WMA picture of 40 MiB", WriteLargeAsfPicture(dir, "cover.wma", 40 * mebibyte), {u"Duration", u"Title", u"WM/Picture"},
         40 * mebibyte + 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpenedEditor opened = OpenEditor(c.path);
        ASSERT_EQ(opened.openResult, S_OK);
        const auto info = opened.Info3();
        WORD count = 0;
        ASSERT_EQ(info->GetAttributeCountEx(0xFFFF, &count), S_OK);
        std::vector<std::u16string> names;
        for (WORD index = 0; index < count; ++index) {
            WORD nameLength = 0;
            DWORD valueLength = 0;
            ASSERT_EQ(info->GetAttributeByIndexEx(0xFFFF, index, nullptr, &nameLength, nullptr, nullptr, nullptr,
                                                  &valueLength),
                      S_OK);
            std::u16string name(nameLength, u'\0');
            Bytes value(valueLength, 0xEE);
            const bool read = c.pictureBytes && names.size() == 2;  // after the Duration and the title
            ASSERT_EQ(info->GetAttributeByIndexEx(0xFFFF, index, name.data(), &nameLength, nullptr, nullptr,
                                                  read ? value.data() : nullptr, &valueLength),
                      S_OK);
            names.push_back(name.substr(0, nameLength - 1));
            if (read) {
                EXPECT_EQ(valueLength, c.pictureBytes);
                EXPECT_EQ(value.back(), 0) << "the data as the file holds it, to its end";
            }
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(FilterFile(c.path).initResult, S_OK);
    }
}

// Compressed frames within the limits, and whole tags unsynchronised, are
// read as TagLib reads them.
TEST(BadInput, CompressedFramesAndUnsynchronisedTagsAreRead)
{
    const Bytes title = {0, 'T', 0xFF, 0xE0, 'x'};  // a 0xFF before what looks like a frame sync
    const Bytes text = Id3Text("TIT2", u"Compressed title", Id3Encoding::latin1).body;
    struct Case {
        const char* what;
        Bytes tag;
        std::u16string title;
    };
    const Case cases[] = {
        {"compressed", BuildId3v2(3, {CompressedFrame("TIT2", text)}), u"Compressed title"},
        {"unsynchronised 2.3", BuildId3v2(3, {{"TIT2", title}}, 8, true), u"T\u00FF\u00E0x"},
        {"unsynchronised 2.2", BuildId3v2(2, {{"TT2", title}}, 8, true), u"T\u00FF\u00E0x"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpenedEditor opened = OpenEditor(dir.Write("read.mp3", Concatenate({c.tag, SilentMpegFrames(2)})));
        ASSERT_EQ(opened.openResult, S_OK);
        const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(all[1].Text(), c.title);
    }
}

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

size_t AddressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Large and hostile files filtered one after the other in a process whose
// address space is limited to 20 MiB above what it uses: every file ends
// with S_OK or FILTER_E_ACCESS (a file whose reading would not fit is
// refused before TagLib starts; without that check TagLib runs out of
// memory here), files whose large pictures stay in the file are read, the
// heap is back at its level after each, and the process lives on.
TEST(BadInput, HostileFilesUnderAMemoryLimitEndCleanly)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit leaves";
#else
    const size_t mebibyte = 1024 * 1024;
    AsfContent manyAttributes;
    for (int i = 0; i < 20000; ++i)
        manyAttributes.metadata.push_back(AsfString(u"WM/Mood", u"value"));
    std::vector<Id3Frame> manyFrames;
    for (int i = 0; i < 50000; ++i)
        manyFrames.push_back(Id3UserText(u"Note" + std::u16string(1, char16_t(u'A' + i % 26)), u"v", Id3Encoding::latin1));
    TempDir dir;
    const std::vector<std::string> paths = {
        dir.Write("frames.mp3", Concatenate({BuildId3v2(3, manyFrames), SilentMpegFrames(1)})),
        dir.Write("attributes.wma", BuildAsf(manyAttributes)),
        dir.Write("value.mp3", Concatenate({BuildId3v2(3, {Id3Lyrics(std::u16string(500000, u'a'), Id3Encoding::utf16)}),
                                            SilentMpegFrames(1)})),
        dir.Write("picture.mp3", BuildId3v2(3, {Id3Picture("image/png", 3, u"", Bytes(12 * mebibyte, 7))})),
        dir.Write("bomb.mp3", BuildId3v2(3, {CompressedFrame("TIT2", Bytes(20 * mebibyte, 'a'))})),
        WriteLargeTag(dir, "scans.mp3", {{Id3Picture("image/png", 3, u"", {1}), 12 * mebibyte},
                                         {Id3Picture("image/png", 4, u"", {1}), 12 * mebibyte},
                                         {Id3Text("TIT2", u"Scanned", Id3Encoding::latin1), 0}}),
        WriteLargeAsfPicture(dir, "cover.wma", 40 * mebibyte),
        dir.Write("small.mp3", Concatenate({ValidId3v2(), SilentMpegFrames(2)})),
    };
    const size_t mustRead = 3;  // the last three

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FilterFile(paths.back());  // TagLib's and the platform's first-use state
        const rlimit limit{AddressSpaceInUse() + 20 * mebibyte, RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(3);
        PlatformSeam_FitHeapToLimits();  // as in a process started under the limit
        int read = 0, refused = 0;
        for (int round = 0; round < 2; ++round) {
            for (size_t i = 0; i < paths.size(); ++i) {
                const std::string& path = paths[i];
                const size_t before = HeapInUse();
                const HRESULT result = FilterFile(path).initResult;
                read += result == S_OK;
                refused += result == FILTER_E_ACCESS;
                if (i + mustRead >= paths.size() && result != S_OK) {
                    std::fprintf(stderr, "%s was not read\n", path.c_str());
                    _exit(6);
                }
                if (HeapInUse() > before + 64 * 1024) {
                    std::fprintf(stderr, "%s: %zu bytes more on the heap\n", path.c_str(), HeapInUse() - before);
                    _exit(4);
                }
            }
        }
        _exit(testing::Test::HasFailure() || read + refused != int(2 * paths.size()) || !refused ? 5 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the child ended with signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// Under a memory limit, an open file keeps the memory it was admitted for
// until it is closed: a second file that would not fit beside it is refused
// with E_OUTOFMEMORY while it is open, and opens once it is closed, so that
// files read on several threads cannot together run TagLib out of memory.
TEST(BadInput, AnOpenFileKeepsTheMemoryItWasAdmittedFor)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit leaves";
#else
    const size_t mebibyte = 1024 * 1024;
    TempDir dir;
    // About 28 MiB by the editor's estimate (12 bytes a byte of text).
    const std::string path = dir.Write("lyrics.mp3", Concatenate({BuildId3v2(3, {Id3Lyrics(std::u16string(1000000, u'a'),
                                                                                          Id3Encoding::utf16)}),
                                                                  SilentMpegFrames(1)}));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OpenEditor(path);  // TagLib's and the platform's first-use state
        const rlimit limit{AddressSpaceInUse() + 44 * mebibyte, RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(3);
        PlatformSeam_FitHeapToLimits();  // as in a process started under the limit
        OpenedEditor first = OpenEditor(path);
        OpenedEditor second = OpenEditor(path);
        const bool refusedBeside = first.openResult == S_OK && second.openResult == E_OUTOFMEMORY;
        first.editor->Close();
        const bool openedAfter = second.editor->Open(Utf16(path).c_str()) == S_OK;
        _exit(refusedBeside ? (openedAfter ? 0 : 5) : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the child ended with signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// Every cut of a valid file, and files with random bytes changed: the
// editor answers every one of them (success or an error) and never crashes.
TEST(BadInput, EveryTruncationAndRandomDamageIsAnswered)
{
    TempDir dir;
    const Bytes asf = ValidAsf();
    const size_t headerSize = AsfHeaderSize(asf);
    for (size_t length = 0; length < asf.size(); ++length) {
        const HRESULT result = OpenEditor(dir.Write("cut" + std::to_string(length) + ".asf", Truncated(asf, length))).openResult;
        if (length < headerSize)
            EXPECT_EQ(result, NS_E_INVALID_INPUT_FORMAT) << "cut at " << length;
        else
            EXPECT_EQ(result, S_OK) << "cut at " << length;
    }

    const Bytes tag = ValidId3v2();
    const Bytes mp3 = Concatenate({tag, SilentMpegFrames(3)});
    for (size_t length = 0; length < mp3.size(); ++length) {
        const HRESULT result = OpenEditor(dir.Write("cut" + std::to_string(length) + ".mp3", Truncated(mp3, length))).openResult;
        if (length < tag.size())
            EXPECT_EQ(result, NS_E_INVALID_INPUT_FORMAT) << "cut at " << length;
        else
            EXPECT_EQ(result, S_OK) << "cut at " << length;
    }

    std::mt19937 random(2024);
    int file = 0;
    for (const Bytes* original : {&asf, &mp3}) {
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = *original;
            for (int changes = 1 + random() % 4; changes > 0; --changes)
                damaged[random() % damaged.size()] = BYTE(random());
            OpenedEditor opened = OpenEditor(dir.Write("random" + std::to_string(++file), damaged));
            if (SUCCEEDED(opened.openResult))
                ReadAllEx(opened.Info3().Get(), 0xFFFF);  // every attribute reads back
            else
                EXPECT_TRUE(opened.openResult == NS_E_INVALID_INPUT_FORMAT) << std::hex << opened.openResult;
        }
    }
}

}  // namespace
}  // namespace trellan::test
