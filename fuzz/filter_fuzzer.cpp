// The whole filter over arbitrary bytes, with the TagLib editor behind it:
// Load, Init and the chunk walk, with GetText's buffer sizes taken from the
// input. Init must answer S_OK or FILTER_E_ACCESS, the walk must give the
// four chunks and end, the text must come back whole in pieces of at most
// the buffer's size and be lines ended by CR LF, and every value must be
// one of those lines (or empty). Any crash, sanitizer report, leak or broken
// rule is a finding.
#include "finding.h"
#include "fuzz_input.h"
#include "scratch_files.h"
#include "support/test_filter.h"

#include <string>
#include <vector>

const char* const fuzzing::fuzzerName = "filter_fuzzer";

namespace {

using fuzzing::Expect;
using fuzzing::Finding;

const char* const fileNames[] = {"input.mp3", "input.wma", "input.wmv", "input.asf"};

// Chunk 1 in pieces, with the buffer sizes taken in turn. A size of 0 reads
// nothing and changes nothing; the first size is never 0, so the text
// always comes to its end.
std::u16string ReadText(trellan::test::TestFilter& filter, const std::vector<ULONG>& sizes)
{
    std::u16string text;
    std::vector<WCHAR> buffer;
    for (size_t turn = 0;; ++turn) {
        const ULONG capacity = sizes[turn % sizes.size()];
        buffer.assign(capacity, u'\xFFFF');
        ULONG units = capacity;
        const HRESULT result = filter.GetText(&units, buffer.data());
        if (result == FILTER_E_NO_MORE_TEXT) {
            Expect(units == 0, "FILTER_E_NO_MORE_TEXT with units");
            return text;
        }
        Expect((result == S_OK || result == FILTER_S_LAST_TEXT) && units <= capacity, "GetText's piece");
        Expect(result == FILTER_S_LAST_TEXT || units == capacity, "a piece short of the buffer before the last");
        text.append(buffer.data(), units);
        if (result == FILTER_S_LAST_TEXT)
            return text;
    }
}

std::u16string ReadValue(trellan::test::TestFilter& filter)
{
    PROPVARIANT* value = nullptr;
    Expect(filter.GetValue(&value) == S_OK && value && value->vt == VT_LPWSTR && value->pwszVal,
           "a value chunk without its value");
    std::u16string text = value->pwszVal;
    CoTaskMemFree(value->pwszVal);
    CoTaskMemFree(value);
    PROPVARIANT* again = nullptr;
    Expect(filter.GetValue(&again) == FILTER_E_NO_MORE_VALUES && !again, "a second value in one chunk");
    return text;
}

bool IsLineOf(const std::u16string& text, const std::u16string& value)
{
    if (value.empty())
        return true;
    const std::u16string line = value + u"\r\n";
    for (size_t at = text.find(line); at != std::u16string::npos; at = text.find(line, at + 1))
        if (at == 0 || (at >= 2 && text.compare(at - 2, 2, u"\r\n") == 0))
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::FuzzInput input(data, size);
    const char* fileName = fileNames[input.Byte() % std::size(fileNames)];
    std::vector<ULONG> sizes(1 + input.Byte() % 4);
    for (ULONG& bufferSize : sizes)
        bufferSize = input.Word() % 1024;
    sizes[0] = sizes[0] ? sizes[0] : 1;
    const std::vector<uint8_t> file = input.Rest();
    const std::string path = fuzzing::ScratchFiles::Write(fileName, file.data(), file.size());
    const std::u16string widePath(path.begin(), path.end());  // the scratch path is ASCII

    trellan::test::TestFilter filter;
    Expect(filter.Load(widePath.c_str(), 0) == S_OK, "Load");
    ULONG flags = 7;
    const HRESULT init = filter.Init(0, 0, nullptr, &flags);
    Expect((init == S_OK || init == FILTER_E_ACCESS) && flags == 0, "Init's result");

    std::u16string text, values[3];
    STAT_CHUNK stat;
    for (ULONG chunk = 1; chunk <= 4; ++chunk) {
        Expect(filter.GetChunk(&stat) == S_OK && stat.idChunk == chunk, "the four chunks");
        if (chunk == 1)
            text = ReadText(filter, sizes);
        else
            values[chunk - 2] = ReadValue(filter);
    }
    Expect(filter.GetChunk(&stat) == FILTER_E_END_OF_CHUNKS, "the walk ends after four chunks");

    Expect(text.empty() || text.ends_with(u"\r\n"), "the text ends with CR LF");
    for (const std::u16string& value : values)
        Expect(IsLineOf(text, value), "a value that is not a line of the text");
    Expect(init == S_OK || (text.empty() && values[0].empty()), "a refused file gave text");
    return 0;
}
