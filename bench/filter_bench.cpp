// Times the filter on each sample file, and on large files that the
// benchmark writes itself, against a direct TagLib read of the same tags.
// The ratio of the two is what the README reports.
#include "support/media_writer.h"
#include "support/test_filter.h"
#include "wm_filter.h"

#include <benchmark/benchmark.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <string>
#include <vector>

namespace {

const char* const sampleNames[] = {"sample.mp3", "sample-v24.mp3", "sample-v1.mp3",
                                   "sample.wma", "sample.wmv",     "sample.asf"};

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

struct BenchFile {
    std::string label;
    std::string path;
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
    for (auto _ : state) {
        TagLib::FileRef file(path.c_str(), false);
        if (file.isNull() || !file.tag()) {
            state.SkipWithError("TagLib could not read the file");
            break;
        }
        const TagLib::Tag* tag = file.tag();
        length += tag->title().size() + tag->artist().size() + tag->comment().size() + tag->album().size() +
                  tag->genre().size() + tag->year();
    }
    benchmark::DoNotOptimize(length);
}

// The samples, then the four large files.
constexpr int fileCount = sizeof sampleNames / sizeof sampleNames[0] + 4;

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
