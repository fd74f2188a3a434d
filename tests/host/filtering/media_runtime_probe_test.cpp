// The media-runtime probe over a scripted runtime and over the TagLib
// editor: it names the runtime's answer only when the runtime cannot read
// media at all, and says nothing about a file the runtime refuses for the
// file's own sake.
#include "filtering/media_runtime_probe.h"

#include "support/fake_editor.h"

#include <gtest/gtest.h>

namespace {

using trellan::test::EditorScript;
using trellan::test::ScriptedEditor;

struct ProbeCase {
    const char* name;
    HRESULT createResult;
    HRESULT openResult;
    const char* cause;  // null: the probe says nothing
};

const ProbeCase probeCases[] = {
    {"no editor", E_NOTIMPL, S_OK, "has no working metadata editor: WMCreateEditor answers E_NOTIMPL (0x80004001)"},
    {"editor cannot be made", E_OUTOFMEMORY, S_OK,
     "has no working metadata editor: WMCreateEditor answers E_OUTOFMEMORY (0x8007000E)"},
    {"Open not implemented", S_OK, E_NOTIMPL,
     "cannot open media files: its metadata editor's Open answers E_NOTIMPL (0x80004001)"},
    {"file missing", S_OK, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), nullptr},
    {"not a media file", S_OK, NS_E_INVALID_INPUT_FORMAT, nullptr},
    {"the runtime opens the file", S_OK, S_OK, nullptr},
};

TEST(MediaRuntimeProbe, NamesTheRuntimesAnswerOnlyWhenItCannotReadMedia)
{
    const std::u16string path = u"/music/night train.mp3";
    for (const ProbeCase& row : probeCases) {
        SCOPED_TRACE(row.name);
        EditorScript script;
        script.createResult = row.createResult;
        script.createLeavesEditor = FAILED(row.createResult);
        script.openResult = row.openResult;
        ScriptedEditor editor(script);

        const std::string cause = host::MediaRuntimeProblem(path);
        if (row.cause) {
            EXPECT_EQ(cause, std::string("the platform's media-format runtime (wmvcore.dll) ") + row.cause);
        } else {
            EXPECT_EQ(cause, "");
        }
        EXPECT_EQ(editor.Log().liveReferences, 0) << "the probe keeps an editor";
        if (SUCCEEDED(row.createResult)) {
            EXPECT_EQ(editor.Log().openedPath, path);
        }
        EXPECT_EQ(editor.Log().closes, row.openResult == S_OK && SUCCEEDED(row.createResult) ? 1 : 0);
    }

    // The TagLib editor refuses a missing file for the file's sake.
    EXPECT_EQ(host::MediaRuntimeProblem(u"/nonexistent/folder/song.mp3"), "");
}

}  // namespace
