// The filter with the TagLib editor seen through only the level-1 or
// level-2 header interface, as older runtimes offer: a real file's
// attributes held only on a stream are then not harvested.
#include "filter_walk.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>

#include <win32/seams.h>

#include <atomic>

namespace trellan::test {
namespace {

// An editor that passes Open, Close and Flush to a TagLib editor and grants
// only the header interfaces up to `level`.
class LevelLimitedEditor final : public IWMMetadataEditor {
public:
    LevelLimitedEditor(IWMMetadataEditor* inner, int level) : inner(inner), level(level) { inner->AddRef(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IWMMetadataEditor) {
            *object = static_cast<IWMMetadataEditor*>(this);
            AddRef();
            return S_OK;
        }
        if ((riid == IID_IWMHeaderInfo && level >= 1) || (riid == IID_IWMHeaderInfo2 && level >= 2))
            return inner->QueryInterface(riid, object);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG remaining = --references;
        if (remaining == 0)
            delete this;
        return remaining;
    }
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override { return inner->Open(path); }
    HRESULT STDMETHODCALLTYPE Close() override { return inner->Close(); }
    HRESULT STDMETHODCALLTYPE Flush() override { return inner->Flush(); }

private:
    ~LevelLimitedEditor() { inner->Release(); }

    IWMMetadataEditor* inner;
    int level;
    std::atomic<ULONG> references{1};
};

// What the installed factory hands out: a fresh TagLib editor, made before
// the factory was installed, behind the level limit.
IWMMetadataEditor* nextInner = nullptr;
int grantedLevel = 0;

HRESULT LimitedFactory(IWMMetadataEditor** editor)
{
    if (!nextInner)
        return E_UNEXPECTED;
    *editor = new LevelLimitedEditor(nextInner, grantedLevel);
    nextInner->Release();
    nextInner = nullptr;
    return S_OK;
}

FilterOutcome FilterThroughLevel(const std::string& path, int level)
{
    EXPECT_EQ(WMCreateEditor(&nextInner), S_OK);
    grantedLevel = level;
    const PlatformEditorFactory previous = PlatformSeam_SetEditorFactory(LimitedFactory);
    FilterOutcome outcome = FilterFile(path);
    PlatformSeam_SetEditorFactory(previous);
    EXPECT_EQ(nextInner, nullptr) << "the filter created its editor";
    return outcome;
}

TEST(HeaderLevels, StreamAttributesAreHarvestedOnlyThroughLevelThree)
{
    AsfContent content;
    content.title = u"File Title";
    content.author = u"File Author";
    content.extended = {AsfString(u"WM/Genre", u"File Genre")};
    content.metadata = {AsfString(u"Description", u"Stream Description", 1),
                        AsfString(u"Author", u"Stream Author", 2)};
    TempDir dir;
    const std::string path = dir.Write("levels.wma", BuildAsf(content));

    const FilterOutcome all = FilterFile(path);
    EXPECT_EQ(all.initResult, S_OK);
    EXPECT_EQ(all.bodyText, u"File Title\r\nFile Author\r\nFile Genre\r\nStream Description\r\nStream Author\r\n");
    EXPECT_EQ(all.author, u"File Author") << "the file's own, not a stream's";
    EXPECT_EQ(all.comments, u"Stream Description") << "the file has none of its own";

    for (int level : {2, 1}) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        const FilterOutcome fileLevel = FilterThroughLevel(path, level);
        EXPECT_EQ(fileLevel.initResult, S_OK);
        EXPECT_EQ(fileLevel.bodyText, u"File Title\r\nFile Author\r\nFile Genre\r\n");
        EXPECT_EQ(fileLevel.title, u"File Title");
        EXPECT_EQ(fileLevel.author, u"File Author");
        EXPECT_EQ(fileLevel.comments, u"");
    }

    // No header interface at all: the file opens, yet Init cannot read it.
    const FilterOutcome none = FilterThroughLevel(path, 0);
    EXPECT_EQ(none.initResult, FILTER_E_ACCESS);
    EXPECT_EQ(none.bodyText, u"");
}

TEST(HeaderLevels, LevelOneHarvestOfAnMp3WithALargePictureFails)
{
    // The level-1 read has a 16-bit value length: a picture over 64 KiB
    // cannot be read there, and the harvest reports the file as unreadable
    // after routing what came before it.
    const std::vector<Id3Frame> frames = {Id3Text("TIT2", u"Before", Id3Encoding::latin1),
                                          Id3Picture("image/jpeg", 3, u"", Bytes(70000, 1)),
                                          Id3Text("TPE1", u"After", Id3Encoding::latin1)};
    TempDir dir;
    const std::string path = dir.Write("big.mp3", Concatenate({BuildId3v2(3, frames), SilentMpegFrames(2)}));

    const FilterOutcome levelThree = FilterFile(path);
    EXPECT_EQ(levelThree.initResult, S_OK);
    EXPECT_EQ(levelThree.bodyText, u"Before\r\nAfter\r\n");

    const FilterOutcome levelOne = FilterThroughLevel(path, 1);
    EXPECT_EQ(levelOne.initResult, FILTER_E_ACCESS);
    EXPECT_EQ(levelOne.title, u"Before");
    EXPECT_EQ(levelOne.author, u"");
}

}  // namespace
}  // namespace trellan::test
