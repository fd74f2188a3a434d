// The bindings of the filter object: IPersistFile's path, and the stream
// of IPersistStream and IInitializeWithStream.
#include "com_ptr.h"
#include "support/fake_editor.h"
#include "support/test_filter.h"
#include "trellan_ids.h"

#include <gtest/gtest.h>

#include <win32/descriptor_stream.h>
#include <win32/seams.h>

#include <sys/mman.h>

namespace trellan::test {
namespace {

std::u16string CurrentFile(TestFilter& filter, HRESULT expected = S_OK)
{
    LPOLESTR path = nullptr;
    EXPECT_EQ(filter.GetCurFile(&path), expected);
    if (!path)
        return u"<none>";
    std::u16string copy = path;
    CoTaskMemFree(path);
    return copy;
}

TEST(FileBinding, LoadStoresACopyThatGetCurFileHandsOut)
{
    TestFilter filter;
    LPOLESTR untouched = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(filter.GetCurFile(&untouched), E_FAIL) << "no path bound yet";
    EXPECT_EQ(untouched, reinterpret_cast<LPOLESTR>(0x1)) << "not written";

    std::u16string first = u"/does/not/exist.mp3";
    EXPECT_EQ(filter.Load(first.c_str(), STGM_READ), S_OK) << "the path is not looked at";
    first[1] = u'X';  // the object keeps its own copy
    EXPECT_EQ(CurrentFile(filter), u"/does/not/exist.mp3");

    EXPECT_EQ(filter.Load(u"/second.wma", 0), S_OK);
    EXPECT_EQ(CurrentFile(filter), u"/second.wma");

    EXPECT_EQ(filter.Load(u"", 0), S_OK);
    ASSERT_NE(filter.FilePath(), nullptr) << "an empty path is a path";
    EXPECT_EQ(CurrentFile(filter), u"");
}

TEST(FileBinding, AnEmptyPathGoesToTheEditor)
{
    EditorScript script;
    script.openResult = NS_E_FILE_OPEN_FAILED;
    ScriptedEditor editor(script);
    TestFilter filter;
    ASSERT_EQ(filter.Load(u"", 0), S_OK);
    EXPECT_EQ(filter.Init(0, 0, nullptr, nullptr), FILTER_E_ACCESS);
    EXPECT_EQ(editor.Log().opens, 1);
}

TEST(FileBinding, FailedAllocationsLeaveNoPathOrNoCopy)
{
    TestFilter filter;
    ASSERT_EQ(filter.Load(u"/a.mp3", 0), S_OK);
    PlatformSeam_FailAllocations(0, 1);
    EXPECT_EQ(filter.Load(u"/b.mp3", 0), E_OUTOFMEMORY);
    PlatformSeam_FailAllocations(0, 0);
    EXPECT_EQ(filter.FilePath(), nullptr) << "the earlier path is gone too";
    EXPECT_EQ(filter.Init(0, 0, nullptr, nullptr), E_FAIL);

    ASSERT_EQ(filter.Load(u"/c.mp3", 0), S_OK);
    PlatformSeam_FailAllocations(0, 1);
    LPOLESTR path = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(filter.GetCurFile(&path), E_OUTOFMEMORY);
    PlatformSeam_FailAllocations(0, 0);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(CurrentFile(filter), u"/c.mp3");
}

TEST(FileBinding, LoadBetweenChunksDoesNotDisturbTheWalk)
{
    EditorScript script;
    script.attributes = {StringAttribute(u"Title", u"old")};
    ScriptedEditor editor(script);
    TestFilter filter;
    ASSERT_EQ(filter.Load(u"/old.mp3", 0), S_OK);
    ASSERT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
    STAT_CHUNK stat;
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    ASSERT_EQ(filter.Load(u"/new.mp3", 0), S_OK);
    ASSERT_EQ(filter.GetChunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 2u) << "the walk goes on where it was";
    PROPVARIANT* value = nullptr;
    ASSERT_EQ(filter.GetValue(&value), S_OK);
    EXPECT_EQ(std::u16string(value->pwszVal), u"old");
    PropVariantClear(value);
    CoTaskMemFree(value);
    // The next Init uses the new path.
    ASSERT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(editor.Log().openedPath, u"/new.mp3");
}

TEST(FileBinding, NothingIsEverSaved)
{
    TestFilter filter;
    for (int loaded = 0; loaded < 2; ++loaded) {
        EXPECT_EQ(filter.IsDirty(), S_FALSE);
        EXPECT_EQ(filter.Save(u"/target.mp3", TRUE), E_FAIL);
        EXPECT_EQ(filter.Save(static_cast<LPCOLESTR>(nullptr), FALSE), E_FAIL);
        EXPECT_EQ(filter.SaveCompleted(u"/target.mp3"), S_OK);
        EXPECT_EQ(filter.SaveCompleted(nullptr), S_OK);
        ASSERT_EQ(filter.Load(u"/x.mp3", 0), S_OK);
    }
    CLSID id = {};
    EXPECT_EQ(filter.GetClassID(&id), S_OK);
    const CLSID expected = {0x5469E55E, 0xCBFD, 0x4CDD, {0xBF, 0x6D, 0xE2, 0x9E, 0x3B, 0xE3, 0xE6, 0x2D}};
    EXPECT_TRUE(IsEqualGUID(id, expected));
    EXPECT_EQ(filter.GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(filter.Load(nullptr, 0), E_POINTER);
    EXPECT_EQ(filter.GetCurFile(nullptr), E_POINTER);

    ULARGE_INTEGER size{};
    EXPECT_EQ(filter.Save(static_cast<IStream*>(nullptr), TRUE), STG_E_CANTSAVE);
    EXPECT_EQ(filter.GetSizeMax(&size), E_NOTIMPL);
    EXPECT_EQ(filter.Load(static_cast<IStream*>(nullptr)), E_POINTER);
    EXPECT_EQ(filter.Initialize(nullptr, STGM_READ), E_POINTER);
}

// The references held on `stream` besides the caller's.
ULONG HeldBesides(IStream* stream)
{
    stream->AddRef();
    return stream->Release() - 1;
}

TEST(StreamBinding, AStreamOrAPathIsBoundNeverBoth)
{
    EditorScript script;
    script.attributes = {StringAttribute(u"Title", u"t")};
    ScriptedEditor editor(script);
    ComPtr<IStream> first, second;
    ASSERT_EQ(PlatformCreateStreamOnDescriptor(memfd_create("first", MFD_CLOEXEC), first.Receive()), S_OK);
    ASSERT_EQ(PlatformCreateStreamOnDescriptor(memfd_create("second", MFD_CLOEXEC), second.Receive()), S_OK);
    {
        TestFilter filter;
        ASSERT_EQ(filter.Load(u"/a.mp3", 0), S_OK);
        EXPECT_EQ(filter.Load(first.Get()), S_OK);
        EXPECT_EQ(filter.FilePath(), nullptr) << "the stream replaces the path";
        EXPECT_EQ(filter.Load(first.Get()), S_OK) << "the same stream again";
        EXPECT_EQ(HeldBesides(first.Get()), 1u);
        CurrentFile(filter, E_FAIL);  // as an unbound filter answers
        EXPECT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
        EXPECT_EQ(editor.Log().openedPath, u"<stream>");

        EXPECT_EQ(filter.Initialize(second.Get(), STGM_READ), S_OK);
        EXPECT_EQ(HeldBesides(first.Get()), 0u) << "the earlier stream is let go";
        EXPECT_EQ(filter.Initialize(first.Get(), STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
        EXPECT_EQ(HeldBesides(second.Get()), 1u) << "a refused second Initialize changes nothing";

        EXPECT_EQ(filter.Load(u"/b.mp3", 0), S_OK);
        EXPECT_EQ(HeldBesides(second.Get()), 0u) << "the path replaces the stream";
        EXPECT_EQ(CurrentFile(filter), u"/b.mp3");
        EXPECT_EQ(filter.Init(0, 0, nullptr, nullptr), S_OK);
        EXPECT_EQ(editor.Log().openedPath, u"/b.mp3");
        EXPECT_EQ(filter.Load(first.Get()), S_OK);
    }
    EXPECT_EQ(HeldBesides(first.Get()), 0u) << "the object lets its stream go";
    EXPECT_EQ(editor.Log().liveReferences, 0);
}

}  // namespace
}  // namespace trellan::test
