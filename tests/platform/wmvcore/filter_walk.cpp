#include "filter_walk.h"

#include "support/test_filter.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <vector>

namespace trellan::test {
namespace {

const GUID storagePropertySet = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
const GUID summaryPropertySet = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};

struct ChunkRow {
    ULONG id;
    CHUNKSTATE flags;
    const GUID* propertySet;
    PROPID property;
};

const ChunkRow chunkTable[] = {
    {1, CHUNK_TEXT, &storagePropertySet, 19},
    {2, CHUNK_VALUE, &summaryPropertySet, 2},
    {3, CHUNK_VALUE, &summaryPropertySet, 4},
    {4, CHUNK_VALUE, &summaryPropertySet, 6},
};

std::u16string ReadText(TestFilter& filter, ULONG bufferSize)
{
    std::u16string text;
    std::vector<WCHAR> buffer(bufferSize);
    for (int guard = 0; guard < 100000; ++guard) {
        ULONG count = bufferSize;
        const SCODE result = filter.GetText(&count, buffer.data());
        if (result == FILTER_E_NO_MORE_TEXT) {
            EXPECT_EQ(count, 0u);
            return text;
        }
        EXPECT_TRUE(result == S_OK || result == FILTER_S_LAST_TEXT) << std::hex << result;
        text.append(buffer.data(), count);
        if (result != S_OK)
            return text;
    }
    ADD_FAILURE() << "GetText never ended";
    return text;
}

std::u16string ReadValue(TestFilter& filter)
{
    PROPVARIANT* value = nullptr;
    EXPECT_EQ(filter.GetValue(&value), S_OK);
    if (!value)
        return u"<no value>";
    std::u16string text;
    EXPECT_EQ(value->vt, VT_LPWSTR);
    if (value->vt == VT_LPWSTR && value->pwszVal)
        text = value->pwszVal;
    CoTaskMemFree(value->pwszVal);
    CoTaskMemFree(value);
    PROPVARIANT* again = nullptr;
    EXPECT_EQ(filter.GetValue(&again), FILTER_E_NO_MORE_VALUES);
    return text;
}

}  // namespace

FilterOutcome FilterFile(const std::string& path, ULONG textBuffer)
{
    FilterOutcome outcome;
    TestFilter filter;
    EXPECT_EQ(filter.Load(Utf16(path).c_str(), 0), S_OK);
    ULONG flags = 0xFFFF;
    outcome.initResult = filter.Init(0, 0, nullptr, &flags);
    EXPECT_EQ(flags, 0u);

    std::u16string* values[] = {&outcome.title, &outcome.author, &outcome.comments};
    for (const ChunkRow& row : chunkTable) {
        STAT_CHUNK chunk{};
        EXPECT_EQ(filter.GetChunk(&chunk), S_OK);
        EXPECT_EQ(chunk.idChunk, row.id);
        EXPECT_EQ(chunk.flags, row.flags);
        EXPECT_EQ(chunk.attribute.guidPropSet, *row.propertySet);
        EXPECT_EQ(chunk.attribute.psProperty.ulKind, ULONG(PRSPEC_PROPID));
        EXPECT_EQ(chunk.attribute.psProperty.propid, row.property);
        if (row.id == 1)
            outcome.bodyText = ReadText(filter, textBuffer);
        else
            *values[row.id - 2] = ReadValue(filter);
    }
    STAT_CHUNK end{};
    EXPECT_EQ(filter.GetChunk(&end), FILTER_E_END_OF_CHUNKS);
    return outcome;
}

}  // namespace trellan::test
