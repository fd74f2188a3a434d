// The harvest and the chunk walk inside the real module, over the wmvcore
// test double: the test writes the attributes that the double serves, binds
// a file by path (IPersistFile) and by a stream over it (IPersistStream, as
// Windows Search binds), walks its chunks as an indexing host does and
// compares them.
#include "class_source.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

#include <string>

namespace trellan::windows_test {
namespace {

using Text = std::basic_string<WCHAR>;

const GUID kStorage = PSGUID_STORAGE;
const GUID kSummaryInformation = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};

Text Widen(const char* text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    Text wide(static_cast<size_t>(units), 0);
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}

std::string Narrow(const Text& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes), 0);
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(bytes - 1));
    return narrow;
}

// What one walk over the four chunks gave.
struct WalkResult {
    HRESULT init = E_UNEXPECTED;
    Text body;
    Text values[3];  // title, author, comments
    bool protocolFaults = false;
};

struct ChunkRow {
    ULONG flags;
    const GUID* propertySet;
    PROPID propid;
};

const ChunkRow kChunks[] = {
    {CHUNK_TEXT, &kStorage, PID_STG_CONTENTS},
    {CHUNK_VALUE, &kSummaryInformation, PIDSI_TITLE},
    {CHUNK_VALUE, &kSummaryInformation, PIDSI_AUTHOR},
    {CHUNK_VALUE, &kSummaryInformation, PIDSI_COMMENTS},
};

// Binds `path`, by a stream over the file (SHCreateStreamOnFileEx) or by
// its path, runs Init and walks every chunk with a text buffer of
// `bufferUnits`; records any departure from the chunk protocol as a test
// failure.
WalkResult Walk(const Text& path, ULONG bufferUnits, bool byStream)
{
    WalkResult result;
    ComPtr<IFilter> filter;
    HRESULT created = Source().CreateFilter(IID_IFilter, filter.ReceiveVoid());
    EXPECT_EQ(created, S_OK);
    if (FAILED(created))
        return result;
    if (byStream) {
        ComPtr<IStream> stream;
        EXPECT_EQ(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                         FALSE, nullptr, stream.Receive()),
                  S_OK);
        ComPtr<IPersistStream> persist;
        EXPECT_EQ(filter->QueryInterface(IID_IPersistStream, persist.ReceiveVoid()), S_OK);
        EXPECT_EQ(persist->Load(stream.Get()), S_OK);
    } else {
        ComPtr<IPersistFile> persist;
        EXPECT_EQ(filter->QueryInterface(IID_IPersistFile, persist.ReceiveVoid()), S_OK);
        EXPECT_EQ(persist->Load(path.c_str(), STGM_READ), S_OK);
    }

    ULONG flags = 0xFFFFFFFF;
    result.init = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS, 0, nullptr, &flags);
    EXPECT_EQ(flags, 0u);

    for (ULONG id = 1; id <= 4; ++id) {
        const ChunkRow& row = kChunks[id - 1];
        STAT_CHUNK stat{};
        EXPECT_EQ(filter->GetChunk(&stat), S_OK) << "chunk " << id;
        EXPECT_EQ(stat.idChunk, id);
        EXPECT_EQ(stat.breakType, CHUNK_NO_BREAK);
        EXPECT_EQ(static_cast<ULONG>(stat.flags), row.flags) << "chunk " << id;
        EXPECT_EQ(stat.locale, GetSystemDefaultLCID());
        EXPECT_EQ(stat.idChunkSource, 1u);
        EXPECT_TRUE(IsEqualGUID(stat.attribute.guidPropSet, *row.propertySet)) << "chunk " << id;
        EXPECT_EQ(stat.attribute.psProperty.ulKind, static_cast<ULONG>(PRSPEC_PROPID));
        EXPECT_EQ(stat.attribute.psProperty.propid, row.propid) << "chunk " << id;

        if (row.flags == CHUNK_TEXT) {
            PROPVARIANT* none = nullptr;
            EXPECT_EQ(filter->GetValue(&none), FILTER_E_NO_VALUES);
            Text buffer(bufferUnits, 0);
            while (true) {
                ULONG units = bufferUnits;
                HRESULT piece = filter->GetText(&units, buffer.data());
                if (piece == FILTER_E_NO_MORE_TEXT) {
                    EXPECT_EQ(units, 0u);
                    break;
                }
                EXPECT_TRUE(piece == S_OK || piece == FILTER_S_LAST_TEXT) << std::hex << piece;
                EXPECT_LE(units, bufferUnits);
                result.body.append(buffer.data(), units);
                if (piece != S_OK)
                    break;
                EXPECT_EQ(units, bufferUnits) << "S_OK only for a full buffer";
            }
        } else {
            PROPVARIANT* value = nullptr;
            EXPECT_EQ(filter->GetValue(&value), S_OK) << "chunk " << id;
            if (value) {
                EXPECT_EQ(value->vt, VT_LPWSTR);
                if (value->vt == VT_LPWSTR && value->pwszVal)
                    result.values[id - 2] = value->pwszVal;
                CoTaskMemFree(value->pwszVal);
                CoTaskMemFree(value);
            }
            PROPVARIANT* second = nullptr;
            EXPECT_EQ(filter->GetValue(&second), FILTER_E_NO_MORE_VALUES);
            ULONG units = 4;
            WCHAR unused[4];
            EXPECT_EQ(filter->GetText(&units, unused), FILTER_E_NO_MORE_TEXT);
        }
    }
    STAT_CHUNK end{};
    EXPECT_EQ(filter->GetChunk(&end), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(filter->GetChunk(&end), FILTER_E_END_OF_CHUNKS);
    return result;
}

using LiveCountFunction = LONG(STDMETHODCALLTYPE*)();

// How many editors of the wmvcore double are alive; -1 when the double is
// not the wmvcore.dll of this process.
LONG LiveEditors()
{
    HMODULE wmvcore = GetModuleHandleW(OLESTR("wmvcore.dll"));
    if (!wmvcore)
        return -1;
    auto count = reinterpret_cast<LiveCountFunction>(
        reinterpret_cast<void*>(GetProcAddress(wmvcore, "EditorDoubleLiveCount")));
    return count ? count() : -1;
}

struct WalkCase {
    const char* name;
    const char* file;    // the bound file's name
    const char* script;  // the double's lines for it: STREAM|NAME|TYPE|VALUE, '\n' between
    HRESULT init;
    const char* body;
    const char* title;
    const char* author;
    const char* comments;
};

const WalkCase kCases[] = {
    {"every routed name", "song.mp3",
     "0|Title|string|Night Train\n0|Author|string|The Lanterns\n0|WM/AlbumTitle|string|Rails\n"
     "0|WM/Year|string|1999\n0|WM/Genre|string|Blues\n0|Description|string|Recorded live\n"
     "0|Copyright|string|(c) Lanterns\n0|WM/Lyrics|string|All aboard\n0|WM/Publisher|string|Depot\n"
     "0|WM/Composer|string|J. Smith\n0|WM/Track|string|7",
     S_OK,
     "Night Train\r\nThe Lanterns\r\nRails\r\n1999\r\nBlues\r\nRecorded live\r\n(c) Lanterns\r\nAll aboard\r\n"
     "Depot\r\nJ. Smith\r\n",
     "Night Train", "The Lanterns", "Recorded live"},
    {"names in any case, non-strings and empty values", "Voice Memo.WMA",
     "0|TITLE|string|Memo\n0|author|string|Ann\n0|wm/year|dword|2001\n0|Description|string|\n"
     "0|wM/gEnRe|string|Speech",
     S_OK, "Memo\r\nAnn\r\nSpeech\r\n", "Memo", "Ann", ""},
    {"stream attributes and repeated names", "clip.wmv",
     "0|Title|string|First\n1|Title|string|Second\n2|Author|string|Camera Two", S_OK,
     "First\r\nSecond\r\nCamera Two\r\n", "Second", "Camera Two", ""},
    {"text beyond ASCII", "lied.asf", "0|Title|string|Grüße aus Köln — 東京\n0|Author|string|Zoë", S_OK,
     "Grüße aus Köln — 東京\r\nZoë\r\n", "Grüße aus Köln — 東京", "Zoë", ""},
    {"no attributes", "silent.mp3", "", S_OK, "", "", "", ""},
    {"editor cannot open the file", "missing.mp3", nullptr, FILTER_E_ACCESS, "", "", "", ""},
    {"a read fails at the third attribute", "broken.wma",
     "0|Title|string|Kept\n0|Author|string|Also kept\n0|WM/Year|fail|\n0|WM/Genre|string|Never", FILTER_E_ACCESS,
     "Kept\r\nAlso kept\r\n", "Kept", "Also kept", ""},
};

class ChunkWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR tempDirectory[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, tempDirectory), 0u);
        WCHAR scriptFile[MAX_PATH];
        ASSERT_NE(GetTempFileNameW(tempDirectory, OLESTR("wmv"), 0, scriptFile), 0u);
        scriptPath = scriptFile;
        mediaDirectory = tempDirectory;
    }
    void TearDown() override
    {
        DeleteFileW(scriptPath.c_str());
        for (const WalkCase& row : kCases)
            DeleteFileW((mediaDirectory + Widen(row.file)).c_str());
        SetEnvironmentVariableW(OLESTR("TRELLAN_WMVCORE_SCRIPT"), nullptr);
    }

    // Writes the double's script, every case's lines under its file name,
    // and each case's file, which holds its own name for the double's reader.
    void WriteScript()
    {
        for (const WalkCase& row : kCases)
            WriteFile(mediaDirectory + Widen(row.file), row.file);
        std::string text = "# written by the chunk walk test\r\n";
        for (const WalkCase& row : kCases) {
            if (!row.script)
                continue;
            text += std::string(row.file) + "\r\n";
            std::string lines = row.script;
            size_t start = 0;
            while (start < lines.size()) {
                size_t end = lines.find('\n', start);
                if (end == std::string::npos)
                    end = lines.size();
                text += std::string(row.file) + "|" + lines.substr(start, end - start) + "\r\n";
                start = end + 1;
            }
        }
        WriteFile(scriptPath, text);
        ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("TRELLAN_WMVCORE_SCRIPT"), scriptPath.c_str()));
    }

    static void WriteFile(const Text& path, const std::string& text)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        BOOL wrote = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_TRUE(wrote && written == text.size());
    }

    Text scriptPath;
    Text mediaDirectory;
};

TEST_F(ChunkWalk, RoutedAttributesComeBackAsChunks)
{
    WriteScript();
    const ULONG bufferSizes[] = {1, 5, 4096};
    for (const WalkCase& row : kCases) {
        for (ULONG units : bufferSizes) {
          for (bool byStream : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + ", buffer " + std::to_string(units) +
                         (byStream ? ", by stream" : ", by path"));
            WalkResult walk = Walk(mediaDirectory + Widen(row.file), units, byStream);
            EXPECT_EQ(walk.init, row.init);
            EXPECT_EQ(Narrow(walk.body), row.body);
            EXPECT_EQ(Narrow(walk.values[0]), row.title);
            EXPECT_EQ(Narrow(walk.values[1]), row.author);
            EXPECT_EQ(Narrow(walk.values[2]), row.comments);
            EXPECT_EQ(LiveEditors(), 0) << "the filter keeps an editor or reader, or the double is not loaded";
          }
        }
    }
}

TEST_F(ChunkWalk, InitWithoutFileOrBeforeInit)
{
    ComPtr<IFilter> filter;
    ASSERT_EQ(Source().CreateFilter(IID_IFilter, filter.ReceiveVoid()), S_OK);
    STAT_CHUNK stat{};
    EXPECT_EQ(filter->GetChunk(&stat), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(filter->Init(0, 0, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(filter->GetChunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 1u);
    ULONG units = 8;
    WCHAR buffer[8];
    EXPECT_EQ(filter->GetText(&units, buffer), FILTER_E_NO_MORE_TEXT);
    EXPECT_EQ(units, 0u);
    EXPECT_EQ(filter->BindRegion(FILTERREGION{}, IID_IUnknown, nullptr), E_NOTIMPL);
}

}  // namespace
}  // namespace trellan::windows_test
