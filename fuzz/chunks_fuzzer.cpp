// The chunk protocol driven by a call sequence from the input (Init,
// GetChunk, GetText with any buffer size, GetValue, Load, GetCurFile,
// BindRegion, in any order), over a scripted editor whose attributes and
// failure come from the input too, against a small model of the filter's
// states. Every result must be one that the model's state allows, the text
// pieces must join to the body, every value must hold its string, and
// every value and interface handed out must come back (the leak checker
// sees what the fuzzer forgets to free).
#include "finding.h"
#include "fuzz_input.h"
#include "support/fake_editor.h"
#include "support/test_filter.h"

#include <algorithm>
#include <iterator>

const char* const fuzzing::fuzzerName = "chunks_fuzzer";

namespace {

using fuzzing::Expect;
using fuzzing::Finding;

using trellan::test::EditorScript;
using trellan::test::ScriptedEditor;

// Names the editor may list: each routed name (some in other letter
// cases), with the string it fills (0 none, 1 title, 2 author,
// 3 description), and names that are not routed.
struct NameRow {
    const char16_t* name;
    int field;
    bool routed;
};
const NameRow names[] = {
    {u"Title", 1, true},          {u"AUTHOR", 2, true},      {u"description", 3, true},
    {u"Copyright", 0, true},      {u"WM/AlbumTitle", 0, true}, {u"wm/year", 0, true},
    {u"WM/Genre", 0, true},       {u"WM/Lyrics", 0, true},   {u"WM/Publisher", 0, true},
    {u"WM/Composer", 0, true},    {u"WM/Mood", 0, false},    {u"Titles", 0, false},
    {u"", 0, false},              {u"WM/TrackNumber", 0, false},
};

struct ChunkRow {
    ULONG flags;
    PROPID propid;
};
const ChunkRow chunkRows[] = {{CHUNK_TEXT, PID_STG_CONTENTS}, {CHUNK_VALUE, PIDSI_TITLE}, {CHUNK_VALUE, PIDSI_AUTHOR},
                              {CHUNK_VALUE, PIDSI_COMMENTS}};

// What the filter's state should be, and the strings a harvest gives.
struct Model {
    bool loaded = false;
    bool initialized = false;
    ULONG chunk = 0;
    size_t position = 0;
    bool valueDelivered = false;
    std::u16string strings[4];  // body, title, author, description
    std::u16string harvested[4];
    HRESULT harvestResult = S_OK;
};

// The strings and Init's result that a harvest of `attributes` gives when
// the read of attribute `failAt` fails. Only strings are read: a number is
// probed and passed over, so a read that would fail on it never happens.
void Harvest(Model& model, const std::vector<std::pair<int, std::u16string>>& attributes, size_t failAt)
{
    for (size_t i = 0; i < attributes.size(); ++i) {
        const auto& [row, value] = attributes[i];
        if (i == failAt && row >= 0) {
            model.harvestResult = FILTER_E_ACCESS;
            return;
        }
        const std::u16string text = value.substr(0, value.find(u'\0'));
        if (row < 0 || text.empty() || !names[row].routed)
            continue;
        if (names[row].field)
            model.harvested[names[row].field] = text;
        model.harvested[0] += text + u"\r\n";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::FuzzInput input(data, size);

    // The editor's attributes: a name row and a string, or a number (row -1
    // in the model, since it is never routed).
    EditorScript script;
    std::vector<std::pair<int, std::u16string>> modelled;
    const int count = input.Byte() % 8;
    for (int i = 0; i < count; ++i) {
        const int row = input.Byte() % std::size(names);
        const std::u16string value = input.ShortText();
        const bool asNumber = !value.empty() && value[0] == u'#';
        if (asNumber)
            script.attributes.push_back(trellan::test::DwordAttribute(names[row].name, 1999));
        else
            script.attributes.push_back(trellan::test::StringAttribute(names[row].name, value));
        modelled.emplace_back(asNumber ? -1 : row, value);
    }
    const size_t failAt = input.Byte() % (count + 1);  // count: no failure
    if (failAt < static_cast<size_t>(count)) {
        script.failReadAt = static_cast<int>(failAt);
        script.failureCode = E_UNEXPECTED;
    }

    Model model;
    Harvest(model, modelled, failAt);

    ScriptedEditor editor(script);
    trellan::test::TestFilter filter;
    while (!input.Empty()) {
        switch (input.Byte() % 8) {
        case 0:
        case 1: {  // Init, with or without pFlags
            ULONG flags = 7;
            const bool withFlags = input.Byte() & 1;
            const HRESULT result = filter.Init(0, 0, nullptr, withFlags ? &flags : nullptr);
            model.initialized = true;
            model.chunk = 0;
            model.position = 0;
            model.valueDelivered = false;
            for (int i = 0; i < 4; ++i)
                model.strings[i] = model.loaded ? model.harvested[i] : std::u16string();
            Expect(result == (model.loaded ? model.harvestResult == S_OK ? S_OK : FILTER_E_ACCESS : E_FAIL),
                   "Init's result");
            Expect(!withFlags || flags == 0, "Init's flags");
            break;
        }
        case 2: {
            STAT_CHUNK stat{};
            const HRESULT result = filter.GetChunk(&stat);
            if (model.initialized) {
                ++model.chunk;
                model.position = 0;
                model.valueDelivered = false;
            }
            if (!model.initialized || model.chunk > 4) {
                Expect(result == FILTER_E_END_OF_CHUNKS, "GetChunk past the chunks");
                break;
            }
            const ChunkRow& row = chunkRows[model.chunk - 1];
            Expect(result == S_OK && stat.idChunk == model.chunk && stat.flags == row.flags &&
                       stat.attribute.psProperty.propid == row.propid && stat.breakType == CHUNK_NO_BREAK &&
                       stat.idChunkSource == 1 && stat.cwcStartSource == 0 && stat.cwcLenSource == 0,
                   "GetChunk's description");
            break;
        }
        case 3: {
            WCHAR buffer[256];
            const ULONG capacity = input.Byte();
            ULONG units = capacity;
            const HRESULT result = filter.GetText(&units, buffer);
            const std::u16string& body = model.strings[0];
            if (model.chunk != 1 || model.position == body.size()) {
                Expect(result == FILTER_E_NO_MORE_TEXT && units == 0, "GetText with no text left");
                break;
            }
            const size_t expected = std::min<size_t>(capacity, body.size() - model.position);
            Expect(units == expected && body.compare(model.position, units, buffer, units) == 0,
                   "GetText's piece");
            model.position += units;
            const bool last = model.position == body.size();
            Expect(result == (last ? FILTER_S_LAST_TEXT : S_OK), "GetText's result");
            break;
        }
        case 4: {
            PROPVARIANT* value = nullptr;
            const HRESULT result = filter.GetValue(&value);
            if (model.valueDelivered) {
                Expect(result == FILTER_E_NO_MORE_VALUES && !value, "GetValue after a value");
                break;
            }
            model.valueDelivered = true;
            if (model.chunk < 2 || model.chunk > 4) {
                Expect(result == FILTER_E_NO_VALUES && !value, "GetValue outside the value chunks");
                break;
            }
            Expect(result == S_OK && value && value->vt == VT_LPWSTR && value->pwszVal &&
                       model.strings[model.chunk - 1] == value->pwszVal,
                   "GetValue's string");
            CoTaskMemFree(value->pwszVal);
            CoTaskMemFree(value);
            break;
        }
        case 5: {
            const std::u16string path = u"/music/" + input.ShortText().substr(0, 40) + u".mp3";
            Expect(filter.Load(path.c_str(), 0) == S_OK, "Load");
            model.loaded = true;
            break;
        }
        case 6: {
            LPOLESTR path = nullptr;
            const HRESULT result = filter.GetCurFile(&path);
            Expect(model.loaded ? result == S_OK && path : result == E_FAIL, "GetCurFile");
            CoTaskMemFree(path);
            break;
        }
        case 7: {
            IUnknown* unknown = nullptr;
            Expect(filter.BindRegion(FILTERREGION{}, IID_IUnknown, reinterpret_cast<void**>(&unknown)) == E_NOTIMPL,
                   "BindRegion");
            break;
        }
        }
    }
    Expect(editor.Log().liveReferences == 0, "an editor interface was not released");
    return 0;
}
