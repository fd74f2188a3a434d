// The metadata editor over arbitrary bytes, opened as an .mp3 file and as a
// .wma file. A file that opens has every attribute read at all three
// levels: counts, the probe and the read of each attribute, a read with a
// buffer one byte short, the look-ups by name and the index lists. Open must
// answer with one of its documented codes, both names must give the same
// attributes (the format is told by content), and the levels must agree
// with each other. Any crash, sanitizer report or disagreement is a
// finding.
#include "finding.h"
#include "scratch_files.h"

#include <win32/wmsdk.h>

#include <algorithm>
#include <string>
#include <vector>

const char* const fuzzing::fuzzerName = "editor_fuzzer";

namespace {

using fuzzing::Expect;
using fuzzing::Finding;

constexpr WORD allStreams = 0xFFFF;

struct Attribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD language = 0;
    std::vector<BYTE> value;

    bool operator==(const Attribute&) const = default;
};

// The index-th attribute under `stream` through the level-3 interface: a
// probe, a read with a buffer one byte short, and a read with buffers of
// the probed lengths.
Attribute ReadEx(IWMHeaderInfo3* info, WORD stream, WORD index)
{
    WORD nameLength = 0;
    DWORD valueLength = 0;
    Attribute attribute;
    Expect(info->GetAttributeByIndexEx(stream, index, nullptr, &nameLength, &attribute.type, &attribute.language,
                                       nullptr, &valueLength) == S_OK,
           "the probe of an attribute inside the count");
    Expect(nameLength > 0, "a name length without room for its NUL");

    std::u16string name(nameLength, u'\xFFFF');
    attribute.value.assign(valueLength + size_t(1), 0xEE);
    if (valueLength > 0) {
        DWORD shortLength = valueLength - 1;
        WORD givenName = nameLength;
        Expect(info->GetAttributeByIndexEx(stream, index, name.data(), &givenName, nullptr, nullptr,
                                           attribute.value.data(), &shortLength) == ASF_E_BUFFERTOOSMALL &&
                   shortLength == valueLength,
               "a value buffer one byte short");
    }
    WORD language = 0;
    Expect(info->GetAttributeByIndexEx(stream, index, name.data(), &nameLength, &attribute.type, &language,
                                       attribute.value.data(), &valueLength) == S_OK,
           "the read of an attribute inside the count");
    Expect(attribute.value[valueLength] == 0xEE, "a read wrote past the value length");
    Expect(name.back() == 0, "a name without its NUL");
    attribute.value.resize(valueLength);
    attribute.name = name.substr(0, nameLength - 1);
    if (attribute.type == WMT_TYPE_STRING)
        Expect(valueLength >= 2 && valueLength % 2 == 0 && attribute.value[valueLength - 1] == 0 &&
                   attribute.value[valueLength - 2] == 0,
               "a string value that is not whole UTF-16 units ending in a NUL unit");
    return attribute;
}

std::vector<Attribute> ReadAllEx(IWMHeaderInfo3* info, WORD stream)
{
    WORD count = 0;
    Expect(info->GetAttributeCountEx(stream, &count) == S_OK, "GetAttributeCountEx");
    std::vector<Attribute> attributes;
    for (WORD index = 0; index < count; ++index)
        attributes.push_back(ReadEx(info, stream, index));
    WORD nameLength = 0;
    DWORD valueLength = 0;
    Expect(info->GetAttributeByIndexEx(stream, count, nullptr, &nameLength, nullptr, nullptr, nullptr,
                                       &valueLength) == E_INVALIDARG,
           "an index past the count");
    return attributes;
}

// Level 1 (and 2, which inherits it): the file-level attributes, the same
// as level 3 shows for stream 0, except values too long for a 16-bit
// length; and each name looked up.
void ReadLevel1(IWMHeaderInfo* info, const std::vector<Attribute>& fileLevel)
{
    WORD count = 0;
    Expect(info->GetAttributeCount(0, &count) == S_OK && count == fileLevel.size(),
           "the level-1 count differs from level 3's stream 0");
    WORD stream = 1;
    Expect(info->GetAttributeCount(1, &count) == E_INVALIDARG, "level 1 on another stream");
    for (WORD index = 0; index < fileLevel.size(); ++index) {
        const Attribute& expected = fileLevel[index];
        stream = 0;
        WORD nameLength = 0;
        WORD valueLength = 0;
        WMT_ATTR_DATATYPE type;
        const HRESULT probe = info->GetAttributeByIndex(index, &stream, nullptr, &nameLength, &type, nullptr,
                                                        &valueLength);
        if (expected.value.size() > 0xFFFF) {
            Expect(probe == HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW), "a long value at level 1");
            continue;
        }
        Expect(probe == S_OK && type == expected.type && valueLength == expected.value.size(),
               "the level-1 probe differs from level 3");
        std::u16string name(nameLength, u'\0');
        std::vector<BYTE> value(valueLength);
        Expect(info->GetAttributeByIndex(index, &stream, name.data(), &nameLength, &type, value.data(),
                                         &valueLength) == S_OK &&
                   value == expected.value && name.substr(0, nameLength - 1) == expected.name,
               "the level-1 read differs from level 3");

        // By name: the first file-level attribute of that name.
        const auto first = std::find_if(fileLevel.begin(), fileLevel.end(),
                                        [&](const Attribute& a) { return a.name == expected.name; });
        if (first->value.size() > 0xFFFF || expected.name.find(u'\0') != std::u16string::npos)
            continue;
        stream = 0;
        valueLength = 0;
        Expect(info->GetAttributeByName(&stream, expected.name.c_str(), &type, nullptr, &valueLength) == S_OK &&
                   valueLength == first->value.size(),
               "GetAttributeByName differs from the first of the name");
    }
}

// The index list of each name, checked against the listing.
void ReadIndices(IWMHeaderInfo3* info, const std::vector<Attribute>& all)
{
    for (size_t i = 0; i < all.size() && i < 16; ++i) {
        if (all[i].name.find(u'\0') != std::u16string::npos)
            continue;
        const auto expected = std::count_if(all.begin(), all.end(), [&](const Attribute& a) { return a.name == all[i].name; });
        WORD count = 0;
        Expect(info->GetAttributeIndices(allStreams, all[i].name.c_str(), nullptr, nullptr, &count) == S_OK &&
                   count == expected,
               "the number of indices of a name");
        std::vector<WORD> indices(count);
        Expect(info->GetAttributeIndices(allStreams, all[i].name.c_str(), nullptr, indices.data(), &count) == S_OK,
               "the indices of a name");
        for (WORD index : indices)
            Expect(index < all.size() && all[index].name == all[i].name, "an index of another name");
        WORD language = all[i].language;
        count = 0;
        Expect(info->GetAttributeIndices(allStreams, all[i].name.c_str(), &language, nullptr, &count) == S_OK &&
                   count >= 1,
               "the indices of a name in its language");
    }
}

std::vector<Attribute> ReadEverything(IWMMetadataEditor* editor)
{
    IWMHeaderInfo3* info3 = nullptr;
    IWMHeaderInfo2* info2 = nullptr;
    IWMHeaderInfo* info1 = nullptr;
    Expect(SUCCEEDED(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info3))) &&
               SUCCEEDED(editor->QueryInterface(IID_IWMHeaderInfo2, reinterpret_cast<void**>(&info2))) &&
               SUCCEEDED(editor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&info1))),
           "the header-information interfaces");

    const std::vector<Attribute> all = ReadAllEx(info3, allStreams);
    const std::vector<Attribute> fileLevel = ReadAllEx(info3, 0);
    size_t perStream = fileLevel.size();
    for (WORD stream = 1; stream < 4; ++stream) {
        WORD count = 0;
        Expect(info3->GetAttributeCountEx(stream, &count) == S_OK, "GetAttributeCountEx of a stream");
        perStream += count;
        if (count > 0)
            ReadEx(info3, stream, count - 1);
    }
    Expect(perStream <= all.size(), "the streams hold more than all of them");
    ReadIndices(info3, all);
    ReadLevel1(info1, fileLevel);
    ReadLevel1(info2, fileLevel);

    DWORD codecs = 1;
    WORD markers = 1, scripts = 1;
    Expect(info2->GetCodecInfoCount(&codecs) == S_OK && codecs == 0 && info1->GetMarkerCount(&markers) == S_OK &&
               markers == 0 && info1->GetScriptCount(&scripts) == S_OK && scripts == 0,
           "markers, scripts and codec information");

    info1->Release();
    info2->Release();
    info3->Release();
    return all;
}

// Opens `path`; the attributes when it opens, or nothing.
bool Read(const std::string& path, std::vector<Attribute>& attributes)
{
    IWMMetadataEditor* editor = nullptr;
    Expect(WMCreateEditor(&editor) == S_OK && editor, "WMCreateEditor");
    const std::u16string widePath(path.begin(), path.end());  // the scratch path is ASCII
    const HRESULT opened = editor->Open(widePath.c_str());
    Expect(opened == S_OK || opened == NS_E_INVALID_INPUT_FORMAT || opened == E_OUTOFMEMORY ||
               opened == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
           "Open answered with a code it does not document");
    if (SUCCEEDED(opened)) {
        attributes = ReadEverything(editor);
        Expect(editor->Close() == S_OK, "Close");
    }
    Expect(editor->Release() == 0, "a reference on the editor was not released");
    return SUCCEEDED(opened);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<Attribute> asMp3, asWma;
    const bool mp3Opened = Read(fuzzing::ScratchFiles::Write("input.mp3", data, size), asMp3);
    const bool wmaOpened = Read(fuzzing::ScratchFiles::Write("input.wma", data, size), asWma);
    Expect(mp3Opened == wmaOpened && asMp3 == asWma, "the extension changed what the editor read");
    return 0;
}
