// Times the filter on each sample file, and on large files that the
// benchmark writes itself, against a direct TagLib read of the same tags.
// The ratio of the two is what the README reports.
#include "support/media_writer.h"
#include "support/test_filter.h"
#include "wm_filter.h"

#include <benchmark/benchmark.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/wavfile.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

const char* const sampleNames[] = {"sample.mp3", "sample-v24.mp3", "sample-v1.mp3",
                                   "sample.wma", "sample.wmv",     "sample.asf"};
// The sample generator's files laid out as real taggers write them.
const char* const layoutNames[] = {"plain-sizes-v24.mp3", "extended-header-v23.mp3", "utf16-without-mark.mp3",
                                   "ape-id3v1.mp3",       "txxx-description.mp3",    "languages.wma"};

using trellan::test::Bytes;

std::u16string Number(int value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// Large tags: many attributes under one name or under distinct names, many
// ID3v2 frames, one value of 1 MB.
Bytes ManyAsfAttributes(bool oneName)
{
    trellan::test::AsfContent content;
    content.title = u"Many";
    for (int i = 0; i < 20000; ++i)
        content.metadata.push_back(trellan::test::AsfString(oneName ? u"WM/Mood" : u"WM/Mood" + Number(i), Number(i)));
    return trellan::test::BuildAsf(content);
}

Bytes ManyId3v2Frames()
{
    using trellan::test::Id3Encoding;
    std::vector<trellan::test::Id3Frame> frames = {trellan::test::Id3Text("TIT2", u"Many", Id3Encoding::latin1)};
    for (int i = 0; i < 50000; ++i)
        frames.push_back(trellan::test::Id3UserText(u"Note " + Number(i), Number(i), Id3Encoding::latin1));
    return trellan::test::Concatenate({trellan::test::BuildId3v2(3, frames), trellan::test::SilentMpegFrames(3)});
}

Bytes OneLargeValue()
{
    const std::u16string lyrics(1000000 / 2, u'\u00E9');  // 1 MB as UTF-16
    return trellan::test::Concatenate({trellan::test::BuildId3v2(3,
                                           {trellan::test::Id3Text("TIT2", u"Long", trellan::test::Id3Encoding::utf16),
                                            trellan::test::Id3Lyrics(lyrics, trellan::test::Id3Encoding::utf16)}),
                                       trellan::test::SilentMpegFrames(3)});
}

// Large pictures, as stores and scanners put them in: one 12 MiB PNG in an
// ID3v2.3 tag, two 8 MiB pictures in a WMA file's Metadata Library.
Bytes PseudoRandom(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (BYTE& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<BYTE>(seed >> 24);
    }
    return bytes;
}

Bytes LargePng()
{
    using trellan::test::Id3Encoding;
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const Bytes data = PseudoRandom(12 * 1024 * 1024, 12);
    png.insert(png.end(), data.begin(), data.end());
    return trellan::test::Concatenate(
        {trellan::test::BuildId3v2(3, {trellan::test::Id3Text("TIT2", u"Cover", Id3Encoding::latin1),
                                       trellan::test::Id3Text("TPE1", u"Store", Id3Encoding::latin1),
                                       trellan::test::Id3Picture("image/png", 3, u"", png)}),
         trellan::test::SilentMpegFrames(3)});
}

Bytes TwoWmaPictures()
{
    trellan::test::AsfContent content;
    content.title = u"Two covers";
    content.author = u"Store";
    for (unsigned seed : {1u, 2u}) {
        Bytes picture = {BYTE(seed + 2), 0, 0, 0x80, 0};  // type, data length
        for (char16_t unit : std::u16string(u"image/jpeg"))
            picture.insert(picture.end(), {BYTE(unit), 0});
        picture.insert(picture.end(), {0, 0, 0, 0});  // the MIME type's NUL, an empty description
        const Bytes data = PseudoRandom(8 * 1024 * 1024, seed);
        picture.insert(picture.end(), data.begin(), data.end());
        content.library.push_back(trellan::test::AsfBinary(u"WM/Picture", picture));
    }
    return trellan::test::BuildAsf(content);
}

// The layouts of taggers' faults and of the flags that other readers read,
// written here: each a title, an author and a comment in UTF-16.
std::vector<trellan::test::Id3Frame> Fields(const char* titleId = "TIT2", const char* authorId = "TPE1",
                                            const char* commentId = "COMM")
{
    using trellan::test::Id3Encoding;
    auto frames = {trellan::test::Id3Text("TIT2", u"Harbour Lights", Id3Encoding::utf16),
                   trellan::test::Id3Text("TPE1", u"Mira \u00D8konkwo", Id3Encoding::utf16),
                   trellan::test::Id3Comment(u"", u"Recorded at the pier", Id3Encoding::utf16)};
    std::vector<trellan::test::Id3Frame> out(frames);
    out[0].id.assign(titleId, 4);
    out[1].id.assign(authorId, 4);
    out[2].id.assign(commentId, 4);
    return out;
}

Bytes Unsynchronised(const Bytes& bytes)
{
    Bytes out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && (i + 1 == bytes.size() || bytes[i + 1] == 0 || bytes[i + 1] >= 0xE0))
            out.push_back(0);
    }
    return out;
}

Bytes WithAudio(const Bytes& tag)
{
    return trellan::test::Concatenate({tag, trellan::test::SilentMpegFrames(3)});
}

// 2.4, unsynchronised as the tag's header says: the frames' data.
Bytes UnsynchronisedTag()
{
    auto frames = Fields();
    for (auto& frame : frames)
        frame.body = Unsynchronised(frame.body);
    Bytes tag = trellan::test::BuildId3v2(4, frames, 64);
    tag[5] |= 0x80;
    return WithAudio(tag);
}

// 2.4 frames with a data-length indicator, their UTF-16 text without a mark.
Bytes DataLengthIndicators()
{
    using trellan::test::Id3Encoding;
    std::vector<trellan::test::Id3Frame> frames = {trellan::test::Id3TextWithoutMark("TIT2", u"Harbour Lights"),
                                                   trellan::test::Id3TextWithoutMark("TPE1", u"Mira Okonkwo")};
    for (auto& frame : frames) {
        const DWORD size = static_cast<DWORD>(frame.body.size());
        frame.body.insert(frame.body.begin(), {BYTE(size >> 21 & 0x7F), BYTE(size >> 14 & 0x7F), BYTE(size >> 7 & 0x7F),
                                               BYTE(size & 0x7F)});
        frame.flags = 0x0001;
    }
    return WithAudio(trellan::test::BuildId3v2(4, frames, 64));
}

// A 2.4 tag declared two bytes short of its last frame.
Bytes ShortTag()
{
    Bytes tag = trellan::test::BuildId3v2(4, Fields());
    const DWORD size = (DWORD(tag[6]) << 21 | DWORD(tag[7]) << 14 | DWORD(tag[8]) << 7 | tag[9]) - 2;
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = static_cast<BYTE>(size >> (7 * (3 - i)) & 0x7F);
    return WithAudio(tag);
}

// 2.2 ids padded with a zero in a 2.3 tag.
Bytes OldIds()
{
    return WithAudio(trellan::test::BuildId3v2(3, Fields("TT2", "TP1", "COM"), 64));
}

// MPEG audio in a RIFF file, the tag in an "id3 " chunk after the audio.
Bytes RiffWithId3Chunk()
{
    const Bytes tag = trellan::test::BuildId3v2(3, Fields(), 64);
    const Bytes audio = trellan::test::SilentMpegFrames(3);
    Bytes body = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 0x55, 0, 1, 0, 0x80, 0xBB, 0, 0,
                  0xE8, 0x03, 0, 0, 1, 0, 0, 0};
    for (const auto& [id, data] : {std::pair<const char*, const Bytes*>{"data", &audio}, {"id3 ", &tag}}) {
        const DWORD size = static_cast<DWORD>(data->size());
        body.insert(body.end(), id, id + 4);
        body.insert(body.end(), {BYTE(size), BYTE(size >> 8), BYTE(size >> 16), BYTE(size >> 24)});
        body.insert(body.end(), data->begin(), data->end());
    }
    const DWORD size = static_cast<DWORD>(body.size());
    return trellan::test::Concatenate({{'R', 'I', 'F', 'F', BYTE(size), BYTE(size >> 8), BYTE(size >> 16), 0}, body});
}

struct BenchFile {
    std::string label;
    std::string path;
    bool riff = false;  // the yardstick is TagLib's RIFF reader
};

const std::vector<BenchFile>& Files()
{
    static const trellan::test::TempDir dir;
    static const std::vector<BenchFile> files = [] {
        std::vector<BenchFile> list;
        for (const char* name : sampleNames)
            list.push_back({name, std::string(TRELLAN_SAMPLES_DIR) + "/" + name});
        list.push_back({"20000 ASF attributes, one name", dir.Write("one-name.wma", ManyAsfAttributes(true))});
        list.push_back({"20000 ASF attributes, distinct names", dir.Write("distinct.wma", ManyAsfAttributes(false))});
        list.push_back({"50000 ID3v2 frames", dir.Write("frames.mp3", ManyId3v2Frames())});
        list.push_back({"1 MB value", dir.Write("large-value.mp3", OneLargeValue())});
        for (const char* name : layoutNames)
            list.push_back({name, std::string(TRELLAN_SAMPLES_DIR) + "/" + name});
        list.push_back({"12 MiB PNG picture", dir.Write("picture.mp3", LargePng())});
        list.push_back({"two 8 MiB WMA pictures", dir.Write("pictures.wma", TwoWmaPictures())});
        list.push_back({"unsynchronised-v24.mp3", dir.Write("unsynchronised-v24.mp3", UnsynchronisedTag())});
        list.push_back({"data-length-v24.mp3", dir.Write("data-length-v24.mp3", DataLengthIndicators())});
        list.push_back({"short-tag-v24.mp3", dir.Write("short-tag-v24.mp3", ShortTag())});
        list.push_back({"v22-ids-v23.mp3", dir.Write("v22-ids-v23.mp3", OldIds())});
        list.push_back({"riff-id3.mp3", dir.Write("riff-id3.mp3", RiffWithId3Chunk()), true});
        return list;
    }();
    return files;
}

std::u16string Widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());  // the paths are ASCII
}

void FilterWalk(benchmark::State& state)
{
    const BenchFile& file = Files()[state.range(0)];
    const std::u16string path = Widen(file.path);
    state.SetLabel(file.label);
    WCHAR buffer[256];
    size_t units = 0;
    for (auto _ : state) {
        trellan::test::TestFilter filter;
        filter.Load(path.c_str(), 0);
        if (filter.Init(0, 0, nullptr, nullptr) != S_OK) {
            state.SkipWithError("Init failed");
            break;
        }
        STAT_CHUNK stat;
        while (filter.GetChunk(&stat) == S_OK) {
            if (stat.flags & CHUNK_TEXT) {
                for (;;) {
                    ULONG count = 256;
                    HRESULT result = filter.GetText(&count, buffer);
                    if (FAILED(result))
                        break;
                    units += count;
                    if (result == FILTER_S_LAST_TEXT)
                        break;
                }
            } else {
                PROPVARIANT* value = nullptr;
                if (filter.GetValue(&value) == S_OK) {
                    PropVariantClear(value);
                    CoTaskMemFree(value);
                }
            }
        }
    }
    benchmark::DoNotOptimize(units);
}

void TagLibRead(benchmark::State& state)
{
    const BenchFile& file = Files()[state.range(0)];
    const std::string& path = file.path;
    state.SetLabel(file.label);
    size_t length = 0;
    const auto add = [&](const TagLib::Tag* tag) {
        length += tag->title().size() + tag->artist().size() + tag->comment().size() + tag->album().size() +
                  tag->genre().size() + tag->year();
    };
    for (auto _ : state) {
        if (file.riff) {
            TagLib::RIFF::WAV::File wav(path.c_str(), false);
            if (!wav.isValid() || !wav.tag()) {
                state.SkipWithError("TagLib could not read the file");
                break;
            }
            add(wav.tag());
            continue;
        }
        TagLib::FileRef ref(path.c_str(), false);
        if (ref.isNull() || !ref.tag()) {
            state.SkipWithError("TagLib could not read the file");
            break;
        }
        add(ref.tag());
    }
    benchmark::DoNotOptimize(length);
}

// The samples, the four large files, the layouts, the two files with large
// pictures, the five layouts written here.
constexpr int fileCount = std::size(sampleNames) + 4 + std::size(layoutNames) + 2 + 5;

BENCHMARK(FilterWalk)->DenseRange(0, fileCount - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(TagLibRead)->DenseRange(0, fileCount - 1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    Files();  // written before anything is measured
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
