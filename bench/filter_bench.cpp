// Times the filter on each sample file against a direct TagLib read of the
// same tags. The ratio of the two is what the README reports.
#include "wm_filter.h"

#include <benchmark/benchmark.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <string>
#include <vector>

namespace {

// The filter object with a plain reference count, as the module's
// stand-alone object has.
class BenchFilter final : public trellan::WMFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refCount); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refCount); }
};

const char* const sampleNames[] = {"sample.mp3", "sample-v24.mp3", "sample-v1.mp3",
                                   "sample.wma", "sample.wmv",     "sample.asf"};

std::string SamplePath(int index)
{
    return std::string(TRELLAN_SAMPLES_DIR) + "/" + sampleNames[index];
}

std::u16string Widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());  // sample paths are ASCII
}

void FilterWalk(benchmark::State& state)
{
    const std::u16string path = Widen(SamplePath(static_cast<int>(state.range(0))));
    state.SetLabel(sampleNames[state.range(0)]);
    WCHAR buffer[256];
    size_t units = 0;
    for (auto _ : state) {
        BenchFilter filter;
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
    const std::string path = SamplePath(static_cast<int>(state.range(0)));
    state.SetLabel(sampleNames[state.range(0)]);
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

constexpr int sampleCount = sizeof sampleNames / sizeof sampleNames[0];

BENCHMARK(FilterWalk)->DenseRange(0, sampleCount - 1);
BENCHMARK(TagLibRead)->DenseRange(0, sampleCount - 1);

}  // namespace

BENCHMARK_MAIN();
