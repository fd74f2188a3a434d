// The TagLib editor's COM side: interfaces and reference counting, the
// order of Open and Close, the buffer protocol of the attribute reads, and
// which attributes each interface level sees; and the synchronous reader,
// which reads the same header through a stream.
#include "editor_access.h"
#include "support/media_writer.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace trellan::test {
namespace {

// A file with two file-level attributes and one held only on stream 1.
std::string WriteStreamFile(const TempDir& dir)
{
    AsfContent content;
    content.title = u"Level Title";
    content.metadata = {AsfString(u"WM/Composer", u"Only On Stream", 1)};
    content.extended = {AsfDword(u"WM/TrackNumber", 4)};
    content.playDuration = 0;  // no play length: the title comes first
    return dir.Write("levels.asf", BuildAsf(content));
}

TEST(EditorProtocol, InterfacesAndReferenceCounting)
{
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.Receive()), S_OK);
    ASSERT_TRUE(editor);

    struct Row {
        const IID* iid;
        bool granted;
    };
    const GUID unrelated = {0xDEADBEEF, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    const Row rows[] = {
        {&IID_IUnknown, true},      {&IID_IWMMetadataEditor, true}, {&IID_IWMHeaderInfo, true},
        {&IID_IWMHeaderInfo2, true}, {&IID_IWMHeaderInfo3, true},    {&unrelated, false},
    };
    IUnknown* identity = nullptr;
    ASSERT_EQ(editor->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    for (const Row& row : rows) {
        void* object = reinterpret_cast<void*>(1);
        const HRESULT result = editor->QueryInterface(*row.iid, &object);
        if (!row.granted) {
            EXPECT_EQ(result, E_NOINTERFACE);
            EXPECT_EQ(object, nullptr);
            continue;
        }
        ASSERT_EQ(result, S_OK);
        ASSERT_NE(object, nullptr);
        // Every interface leads back to the same identity.
        IUnknown* unknown = static_cast<IUnknown*>(object);
        IUnknown* back = nullptr;
        EXPECT_EQ(unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
        EXPECT_EQ(back, identity);
        back->Release();
        unknown->Release();
    }
    EXPECT_EQ(editor->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // Counts: one from creation, one held in `identity`.
    EXPECT_EQ(editor->AddRef(), 3u);
    EXPECT_EQ(editor->Release(), 2u);
    EXPECT_EQ(identity->Release(), 1u);

    // Many threads adding and releasing references leave the count where
    // it was.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                editor->AddRef();
                editor->Release();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(editor->AddRef(), 2u);
    EXPECT_EQ(editor->Release(), 1u);

    // An interface outlives the editor reference it came from.
    ComPtr<IWMHeaderInfo3> info;
    ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, info.ReceiveVoid()), S_OK);
    editor.Reset();
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, &count), NS_E_INVALID_REQUEST);
}

TEST(EditorProtocol, OpenAndCloseInOrder)
{
    TempDir dir;
    const std::string path = WriteStreamFile(dir);
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.Receive()), S_OK);
    ComPtr<IWMHeaderInfo3> info;
    ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, info.ReceiveVoid()), S_OK);

    WORD count = 0;
    WORD stream = 0;
    WORD nameLength = 0;
    DWORD valueLength = 0;
    WORD shortLength = 0;
    DWORD codecs = 7;
    // Before Open: every read is an invalid request.
    EXPECT_EQ(info->GetAttributeCount(0, &count), NS_E_INVALID_REQUEST);
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, &count), NS_E_INVALID_REQUEST);
    EXPECT_EQ(info->GetAttributeByIndex(0, &stream, nullptr, &nameLength, nullptr, nullptr, &shortLength),
              NS_E_INVALID_REQUEST);
    EXPECT_EQ(info->GetAttributeByIndexEx(0xFFFF, 0, nullptr, &nameLength, nullptr, nullptr, nullptr, &valueLength),
              NS_E_INVALID_REQUEST);
    EXPECT_EQ(info->GetCodecInfoCount(&codecs), NS_E_INVALID_REQUEST);
    EXPECT_EQ(editor->Close(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(editor->Flush(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(editor->Open(nullptr), E_POINTER);

    ASSERT_EQ(editor->Open(Utf16(path).c_str()), S_OK);
    EXPECT_EQ(editor->Open(Utf16(path).c_str()), NS_E_INVALID_REQUEST) << "a second Open without Close";
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, &count), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(editor->Flush(), E_NOTIMPL) << "the editor writes nothing";

    EXPECT_EQ(editor->Close(), S_OK);
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, &count), NS_E_INVALID_REQUEST);
    EXPECT_EQ(editor->Close(), NS_E_INVALID_REQUEST);

    // Closed, the editor opens again; a failed Open leaves it closed.
    EXPECT_EQ(editor->Open(Utf16(dir.PathOf("missing.asf")).c_str()), NS_E_FILE_NOT_FOUND);
    EXPECT_EQ(editor->Close(), NS_E_INVALID_REQUEST);
    ASSERT_EQ(editor->Open(Utf16(path).c_str()), S_OK);
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, &count), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(editor->Close(), S_OK);

    // The same path written anew after a Close is read anew, not served
    // from the reading the editor keeps of the file it last closed.
    AsfContent rewritten;
    rewritten.title = u"Rewritten";
    rewritten.playDuration = 0;
    dir.Write("levels.asf", BuildAsf(rewritten));
    ASSERT_EQ(editor->Open(Utf16(path).c_str()), S_OK);
    const std::vector<ReadAttribute> all = ReadAllEx(info.Get(), 0xFFFF);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].Text(), u"Rewritten");
    EXPECT_EQ(editor->Close(), S_OK);
}

TEST(EditorProtocol, BufferProtocolOfTheLevelThreeRead)
{
    TempDir dir;
    const OpenedEditor opened = OpenEditor(WriteStreamFile(dir));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto info = opened.Info3();
    const std::u16string name = u"Title";
    const std::u16string text = u"Level Title";
    const WORD nameUnits = WORD(name.size() + 1);
    const DWORD valueBytes = DWORD((text.size() + 1) * 2);

    // Probe: no buffers, the lengths come back.
    WORD nameLength = 0;
    DWORD valueLength = 0;
    ASSERT_EQ(info->GetAttributeByIndexEx(0xFFFF, 0, nullptr, &nameLength, nullptr, nullptr, nullptr, &valueLength),
              S_OK);
    EXPECT_EQ(nameLength, nameUnits);
    EXPECT_EQ(valueLength, valueBytes);

    struct Case {
        const char* what;
        WORD nameGiven;   // 0xFFFF: no name buffer
        DWORD valueGiven;  // 0xFFFFFFFF: no value buffer
        HRESULT result;
    };
    const Case cases[] = {
        {"exact", nameUnits, valueBytes, S_OK},
        {"larger", WORD(nameUnits + 10), valueBytes + 10, S_OK},
        {"name one short", WORD(nameUnits - 1), valueBytes, ASF_E_BUFFERTOOSMALL},
        {"value one short", nameUnits, valueBytes - 1, ASF_E_BUFFERTOOSMALL},
        {"both zero", 0, 0, ASF_E_BUFFERTOOSMALL},
        {"name only", nameUnits, 0xFFFFFFFF, S_OK},
        {"value only", 0xFFFF, valueBytes, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::u16string nameBuffer(64, u'#');
        std::vector<BYTE> valueBuffer(128, 0xEE);
        WCHAR* namePointer = c.nameGiven == 0xFFFF ? nullptr : nameBuffer.data();
        BYTE* valuePointer = c.valueGiven == 0xFFFFFFFF ? nullptr : valueBuffer.data();
        nameLength = namePointer ? c.nameGiven : 0;
        valueLength = valuePointer ? c.valueGiven : 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_GUID;
        WORD language = 0x55;
        EXPECT_EQ(info->GetAttributeByIndexEx(0xFFFF, 0, namePointer, &nameLength, &type, &language, valuePointer,
                                              &valueLength),
                  c.result);
        // The needed lengths come back in every case.
        EXPECT_EQ(nameLength, nameUnits);
        EXPECT_EQ(valueLength, valueBytes);
        if (c.result != S_OK) {
            EXPECT_EQ(nameBuffer, std::u16string(64, u'#')) << "nothing is copied into too small buffers";
            EXPECT_EQ(valueBuffer, std::vector<BYTE>(128, 0xEE));
            continue;
        }
        EXPECT_EQ(type, WMT_TYPE_STRING);
        EXPECT_EQ(language, 0);
        if (namePointer) {
            EXPECT_EQ(nameBuffer.substr(0, nameUnits), name + u'\0');
            EXPECT_EQ(nameBuffer[nameUnits], u'#') << "nothing written past the name";
        }
        if (valuePointer) {
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(valueBuffer.data()), text.size() + 1),
                      text + u'\0');
            EXPECT_EQ(valueBuffer[valueBytes], 0xEE) << "nothing written past the value";
        }
    }

    // Indices past the end, and a buffer without its length.
    WORD count = 0;
    ASSERT_EQ(info->GetAttributeCountEx(0xFFFF, &count), S_OK);
    EXPECT_EQ(info->GetAttributeByIndexEx(0xFFFF, count, nullptr, &nameLength, nullptr, nullptr, nullptr,
                                          &valueLength),
              E_INVALIDARG);
    EXPECT_EQ(info->GetAttributeByIndexEx(1, 1, nullptr, &nameLength, nullptr, nullptr, nullptr, &valueLength),
              E_INVALIDARG);
    WCHAR buffer[16];
    EXPECT_EQ(info->GetAttributeByIndexEx(0xFFFF, 0, buffer, nullptr, nullptr, nullptr, nullptr, &valueLength),
              E_INVALIDARG);
    EXPECT_EQ(info->GetAttributeCountEx(0xFFFF, nullptr), E_POINTER);
}

TEST(EditorProtocol, BufferProtocolOfTheLevelOneRead)
{
    TempDir dir;
    const OpenedEditor opened = OpenEditor(WriteStreamFile(dir));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto info = opened.Info1();

    // Index 1 is WM/TrackNumber, a DWORD.
    WORD stream = 0;
    WORD nameLength = 0;
    WORD valueLength = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    ASSERT_EQ(info->GetAttributeByIndex(1, &stream, nullptr, &nameLength, &type, nullptr, &valueLength), S_OK);
    EXPECT_EQ(nameLength, WORD(sizeof(u"WM/TrackNumber") / 2));
    EXPECT_EQ(valueLength, 4);
    EXPECT_EQ(type, WMT_TYPE_DWORD);

    WCHAR name[32] = {};
    DWORD value = 0;
    WORD tooShort = 3;
    EXPECT_EQ(info->GetAttributeByIndex(1, &stream, name, &nameLength, &type, reinterpret_cast<BYTE*>(&value),
                                        &tooShort),
              ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(tooShort, 4);
    EXPECT_EQ(value, 0u);
    ASSERT_EQ(info->GetAttributeByIndex(1, &stream, name, &nameLength, &type, reinterpret_cast<BYTE*>(&value),
                                        &valueLength),
              S_OK);
    EXPECT_EQ(std::u16string(name), u"WM/TrackNumber");
    EXPECT_EQ(value, 4u);
    EXPECT_EQ(stream, 0);

    // Only stream 0 at this level; indices past the file-level list fail.
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCount(1, &count), E_INVALIDARG);
    EXPECT_EQ(info->GetAttributeCount(0xFFFF, &count), E_INVALIDARG);
    ASSERT_EQ(info->GetAttributeCount(0, &count), S_OK);
    EXPECT_EQ(count, 2);
    stream = 1;
    EXPECT_EQ(info->GetAttributeByIndex(0, &stream, nullptr, &nameLength, &type, nullptr, &valueLength),
              E_INVALIDARG);
    stream = 0;
    EXPECT_EQ(info->GetAttributeByIndex(2, &stream, nullptr, &nameLength, &type, nullptr, &valueLength),
              E_INVALIDARG);
    EXPECT_EQ(info->GetAttributeByIndex(0, nullptr, nullptr, &nameLength, &type, nullptr, &valueLength), E_POINTER);
    EXPECT_EQ(info->GetAttributeCount(0, nullptr), E_POINTER);
}

TEST(EditorProtocol, StreamAttributesAreSeenOnlyThroughLevelThree)
{
    TempDir dir;
    const OpenedEditor opened = OpenEditor(WriteStreamFile(dir));
    ASSERT_EQ(opened.openResult, S_OK);

    using Names = std::vector<std::u16string>;
    const Names fileLevel = {u"Title", u"WM/TrackNumber"};
    EXPECT_EQ(NamesOf(ReadAllEx(opened.Info3().Get(), 0xFFFF)),
              (Names{u"Title", u"WM/TrackNumber", u"WM/Composer"}));
    EXPECT_EQ(NamesOf(ReadAllEx(opened.Info3().Get(), 0)), fileLevel);
    EXPECT_EQ(NamesOf(ReadAllEx(opened.Info3().Get(), 1)), (Names{u"WM/Composer"}));
    EXPECT_EQ(NamesOf(ReadAllLevel1(opened.Info1().Get())), fileLevel);

    ComPtr<IWMHeaderInfo2> info2;
    ASSERT_EQ(opened.editor->QueryInterface(IID_IWMHeaderInfo2, info2.ReceiveVoid()), S_OK);
    EXPECT_EQ(NamesOf(ReadAllLevel1(info2.Get())), fileLevel);
}

TEST(EditorProtocol, LookupsByNameAndTheEmptyLists)
{
    TempDir dir;
    AsfContent content;
    content.extended = {AsfString(u"WM/Genre", u"Pop"), AsfString(u"WM/Genre", u"Rock"),
                        AsfDword(u"WM/TrackNumber", 9)};
    content.library = {AsfString(u"WM/Genre", u"Stream Pop", 1)};
    content.library[0].language = 2;
    const OpenedEditor opened = OpenEditor(dir.Write("names.wma", BuildAsf(content)));
    ASSERT_EQ(opened.openResult, S_OK);
    const auto info = opened.Info3();

    // Indices of a name, per stream and language.
    struct Row {
        WORD stream;
        const WORD* language;
        std::vector<WORD> indices;
    };
    const WORD languageTwo = 2;
    const WORD languageZero = 0;
    const Row rows[] = {
        {0xFFFF, nullptr, {1, 2, 4}},  // after the Duration
        {0, nullptr, {1, 2}},
        {1, nullptr, {0}},
        {0xFFFF, &languageTwo, {4}},
        {0xFFFF, &languageZero, {1, 2}},
        {5, nullptr, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "stream " << row.stream);
        WORD count = 0;
        ASSERT_EQ(info->GetAttributeIndices(row.stream, u"WM/Genre", const_cast<WORD*>(row.language), nullptr,
                                            &count),
                  S_OK);
        ASSERT_EQ(count, row.indices.size());
        std::vector<WORD> indices(count + 1, 0xBEEF);
        ASSERT_EQ(info->GetAttributeIndices(row.stream, u"WM/Genre", const_cast<WORD*>(row.language),
                                            indices.data(), &count),
                  S_OK);
        indices.resize(count);
        EXPECT_EQ(indices, row.indices);
    }
    WORD one = 1;
    WORD slot[1];
    EXPECT_EQ(info->GetAttributeIndices(0xFFFF, u"WM/Genre", nullptr, slot, &one), ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(one, 3);

    // By name at file level: the first one, with the 16-bit length.
    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD length = 0;
    ASSERT_EQ(info->GetAttributeByName(&stream, u"WM/Genre", &type, nullptr, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_STRING);
    EXPECT_EQ(length, sizeof(u"Pop"));
    char16_t value[8] = {};
    ASSERT_EQ(info->GetAttributeByName(&stream, u"WM/Genre", &type, reinterpret_cast<BYTE*>(value), &length), S_OK);
    EXPECT_EQ(std::u16string(value), u"Pop");
    EXPECT_EQ(info->GetAttributeByName(&stream, u"WM/Nothing", &type, nullptr, &length), ASF_E_NOTFOUND);

    // Markers, scripts and codec information: none, and no writing.
    WORD markers = 9;
    WORD scripts = 9;
    DWORD codecs = 9;
    EXPECT_EQ(info->GetMarkerCount(&markers), S_OK);
    EXPECT_EQ(info->GetScriptCount(&scripts), S_OK);
    EXPECT_EQ(info->GetCodecInfoCount(&codecs), S_OK);
    EXPECT_EQ(markers + scripts + codecs, 0u);
    QWORD time = 0;
    WORD textLength = 0;
    EXPECT_EQ(info->GetMarker(0, nullptr, &textLength, &time), E_INVALIDARG);
    EXPECT_EQ(info->SetAttribute(0, u"Title", WMT_TYPE_STRING, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(info->AddAttribute(0, u"Title", nullptr, WMT_TYPE_STRING, 0, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(info->DeleteAttribute(0, 0), E_NOTIMPL);
    EXPECT_EQ(info->ModifyAttribute(0, 0, WMT_TYPE_STRING, 0, nullptr, 0), E_NOTIMPL);
}

TEST(EditorProtocol, ValuesLongerThanSixteenBitsAreRefusedAtLevelOne)
{
    TempDir dir;
    const Bytes big(70000, 0x5A);
    const std::vector<Id3Frame> frames = {Id3Text("TIT2", u"Big Picture", Id3Encoding::latin1),
                                          Id3Picture("image/jpeg", 3, u"", big)};
    // A tag alone, without frames: no Duration comes before the title.
    const OpenedEditor opened = OpenEditor(dir.Write("big.mp3", BuildId3v2(3, frames)));
    ASSERT_EQ(opened.openResult, S_OK);

    // Level 3 reports and delivers it.
    const auto all = ReadAllEx(opened.Info3().Get(), 0xFFFF);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].name, u"WM/Picture");
    EXPECT_GT(all[1].value.size(), 0xFFFFu);

    // Level 1 reads the title, and refuses the picture rather than cut it.
    const auto info = opened.Info1();
    WORD stream = 0;
    WORD nameLength = 0;
    WORD valueLength = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    EXPECT_EQ(info->GetAttributeByIndex(0, &stream, nullptr, &nameLength, &type, nullptr, &valueLength), S_OK);
    const HRESULT refused = info->GetAttributeByIndex(1, &stream, nullptr, &nameLength, &type, nullptr, &valueLength);
    EXPECT_EQ(refused, HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));
}

// A stream over bytes in memory that reads as badly as a stream may: at
// most `chunk` bytes a Read, a size in Stat beyond what it holds (it ends
// early), a failing Read from `failFrom` on, or no Stat at all.
class AwkwardStream final : public IStream {
public:
    // The size is taken before the bytes move: it is declared first.
    explicit AwkwardStream(Bytes data) : reportedSize(data.size()), bytes(std::move(data)) {}

    size_t chunk = 7;
    uint64_t reportedSize;
    uint64_t failFrom = UINT64_MAX;
    bool statFails = false;
    int references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream ? this : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }  // on the test's stack
    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG count, ULONG* read) override
    {
        if (position >= failFrom)
            return STG_E_READFAULT;
        const size_t given = std::min<size_t>({count, chunk, bytes.size() - std::min<size_t>(position, bytes.size())});
        std::memcpy(out, bytes.data() + position, given);
        position += given;
        *read = static_cast<ULONG>(given);
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override
    {
        position = (origin == STREAM_SEEK_END ? reportedSize : origin == STREAM_SEEK_CUR ? position : 0) +
                   move.QuadPart;
        if (at)
            at->QuadPart = position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* status, DWORD) override
    {
        if (statFails)
            return E_NOTIMPL;
        *status = STATSTG{};
        status->cbSize.QuadPart = reportedSize;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    Bytes bytes;
    uint64_t position = 0;
};

// The reader over a stream that reads however badly it may gives what the
// editor gives of the same file, picture data read later through the
// stream included; a stream that fails, or ends before the size it
// reported, is a failed read, not a damaged file; and the reader lets the
// stream go at Close.
TEST(EditorProtocol, TheReaderReadsAStreamAsTheEditorReadsTheFile)
{
    TempDir dir;
    const Bytes picture(70000, 0x5A);
    const Bytes mp3 = Concatenate({BuildId3v2(3, {Id3Text("TIT2", u"Stream Title", Id3Encoding::utf16),
                                                  Id3Comment(u"", u"long comment", Id3Encoding::utf8),
                                                  Id3Picture("image/png", 3, u"cover", picture)}),
                                   SilentMpegFrames(3)});
    const std::string path = dir.Write("stream.mp3", mp3);
    OpenedEditor editor = OpenEditor(path);
    ASSERT_EQ(editor.openResult, S_OK);
    const std::vector<ReadAttribute> expected = ReadAllEx(editor.Info3().Get(), 0xFFFF);
    ASSERT_NE(Find(expected, u"WM/Picture"), nullptr);

    struct Row {
        const char* what;
        size_t chunk;
        uint64_t reportedSize;  // 0: the stream's own
        uint64_t failFrom;
        bool statFails;
        HRESULT opened;
    };
    const Row rows[] = {
        {"one byte a read", 1, 0, UINT64_MAX, false, S_OK},
        {"seven bytes a read", 7, 0, UINT64_MAX, false, S_OK},
        {"no Stat: the size from a seek to the end", 4096, 0, UINT64_MAX, true, S_OK},
        {"it ends before the size it reported", 4096, mp3.size() + 100, UINT64_MAX, false, NS_E_FILE_READ},
        {"a read fails in the tag", 4096, 0, 40, false, NS_E_FILE_READ},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AwkwardStream stream(mp3);
        stream.chunk = row.chunk;
        stream.reportedSize = row.reportedSize ? row.reportedSize : mp3.size();
        stream.failFrom = row.failFrom;
        stream.statFails = row.statFails;
        ComPtr<IWMSyncReader> reader;
        ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.Receive()), S_OK);
        ASSERT_EQ(reader->OpenStream(&stream), row.opened);
        if (SUCCEEDED(row.opened)) {
            ComPtr<IWMHeaderInfo3> info;
            ASSERT_EQ(reader->QueryInterface(IID_IWMHeaderInfo3, info.ReceiveVoid()), S_OK);
            const std::vector<ReadAttribute> read = ReadAllEx(info.Get(), 0xFFFF);
            ASSERT_EQ(NamesOf(read), NamesOf(expected));
            for (size_t i = 0; i < read.size(); ++i)
                EXPECT_EQ(read[i].value, expected[i].value) << Utf8(read[i].name);
            EXPECT_EQ(reader->OpenStream(&stream), NS_E_INVALID_REQUEST) << "Close first";
            EXPECT_EQ(reader->Close(), S_OK);
        }
        EXPECT_EQ(stream.references, 1) << "the reader keeps no reference after Close or a failed open";
    }
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.Receive()), S_OK);
    EXPECT_EQ(reader->OpenStream(nullptr), E_POINTER);
    INSSBuffer* sample = reinterpret_cast<INSSBuffer*>(1);
    EXPECT_EQ(reader->GetNextSample(0, &sample, nullptr, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(sample, nullptr);
    EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST);
}

}  // namespace
}  // namespace trellan::test
