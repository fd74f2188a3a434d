// The media-runtime probe over a scripted runtime and over the TagLib
// editor: it names the runtime's answer only when the runtime cannot read
// media at all, and says nothing about a file the runtime refuses for the
// file's own sake.
#include "filtering/failure_cause.h"
#include "filtering/media_runtime_probe.h"

#include "support/fake_editor.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>

namespace {

using trellan::test::EditorScript;
using trellan::test::ScriptedEditor;

struct ProbeCase {
    const char* name;
    host::RuntimeRoute route;
    HRESULT createResult;
    HRESULT openResult;
    const char* cause;  // null: the probe says nothing
};

constexpr host::RuntimeRoute byPath = host::RuntimeRoute::path, byStream = host::RuntimeRoute::stream;

const ProbeCase probeCases[] = {
    {"no editor", byPath, E_NOTIMPL, S_OK,
     "has no working metadata editor: WMCreateEditor answers E_NOTIMPL (0x80004001)"},
    {"editor cannot be made", byPath, E_OUTOFMEMORY, S_OK,
     "has no working metadata editor: WMCreateEditor answers E_OUTOFMEMORY (0x8007000E)"},
    {"Open not implemented", byPath, S_OK, E_NOTIMPL,
     "cannot open media files: its metadata editor's Open answers E_NOTIMPL (0x80004001)"},
    {"no reader", byStream, E_NOTIMPL, S_OK,
     "has no working synchronous reader: WMCreateSyncReader answers E_NOTIMPL (0x80004001)"},
    {"OpenStream not implemented", byStream, S_OK, E_NOTIMPL,
     "cannot read media streams: its synchronous reader's OpenStream answers E_NOTIMPL (0x80004001)"},
    {"file missing", byPath, S_OK, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), nullptr},
    {"not a media file", byPath, S_OK, NS_E_INVALID_INPUT_FORMAT, nullptr},
    {"not a media stream", byStream, S_OK, NS_E_INVALID_INPUT_FORMAT, nullptr},
    {"the runtime opens the file", byPath, S_OK, S_OK, nullptr},
    {"the runtime reads the stream", byStream, S_OK, S_OK, nullptr},
};

TEST(MediaRuntimeProbe, NamesTheRuntimesAnswerOnlyWhenItCannotReadMedia)
{
    trellan::test::TempDir dir;
    const std::string written = dir.Write("night train.mp3", {'I', 'D', '3'});
    const std::u16string path(written.begin(), written.end());
    for (const ProbeCase& row : probeCases) {
        SCOPED_TRACE(row.name);
        EditorScript script;
        script.createResult = row.createResult;
        script.createLeavesEditor = FAILED(row.createResult);
        script.openResult = row.openResult;
        ScriptedEditor editor(script);

        const std::string cause = host::MediaRuntimeProblem(path, row.route);
        if (row.cause) {
            EXPECT_EQ(cause, std::string("the platform's media-format runtime (wmvcore.dll) ") + row.cause);
        } else {
            EXPECT_EQ(cause, "");
        }
        EXPECT_EQ(editor.Log().liveReferences, 0) << "the probe keeps an editor";
        if (SUCCEEDED(row.createResult)) {
            EXPECT_EQ(editor.Log().openedPath, row.route == byStream ? u"<stream>" : path);
        }
        EXPECT_EQ(editor.Log().closes, row.openResult == S_OK && SUCCEEDED(row.createResult) ? 1 : 0);
    }

    // The TagLib editor refuses a missing file for the file's sake.
    EXPECT_EQ(host::MediaRuntimeProblem(u"/nonexistent/folder/song.mp3", byPath), "");
}

}  // namespace

// A readable file that the filter refused is described by what the
// runtime's editor answers for it: over its limits, or short of memory
// (then it may well be read when memory is not short), or else not media.
TEST(FailureCause, TheEditorsAnswerTellsLimitsAndMemoryFromDamage)
{
    trellan::test::TempDir dir;
    const std::string path = dir.Write("song.mp3", {'I', 'D', '3'});
    struct Row {
        HRESULT openResult;
        const char* words;
        bool memory;
        bool byStream = false;
    };
    const Row rows[] = {
        {HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), "over the size limit of the media-format runtime's metadata editor",
         false},
        {E_OUTOFMEMORY, "out of memory", true},
        {S_OK, "out of memory, or the file changed while it was read (it opens now)", true},
        {NS_E_INVALID_INPUT_FORMAT, "not a media file that the filter can read, or damaged", false},
        {NS_E_INVALID_INPUT_FORMAT, "not a media file that the filter can read, or damaged", false, true},
        // A reader that refuses a stream for its own reasons is named, not the file blamed.
        {E_FAIL, "the media-format runtime's synchronous reader refuses it: OpenStream answers E_FAIL (0x80004005)",
         false, true},
    };
    for (const Row& row : rows) {
        EditorScript script;
        script.openResult = row.openResult;
        ScriptedEditor editor(script);
        const host::FailureCause cause =
            host::DescribeFailure(std::u16string(path.begin(), path.end()), row.byStream);
        EXPECT_EQ(cause.words, row.words);
        EXPECT_EQ(cause.memory, row.memory) << row.words;
    }
}
