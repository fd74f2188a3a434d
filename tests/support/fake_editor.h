// A scripted metadata editor, and synchronous reader, for harvest tests: it
// serves a list of attributes and fails where the script says, and it counts
// every reference handed out so that a test can check that all of them came
// back. Installed as both WMCreateEditor's and WMCreateSyncReader's factory.
#pragma once

#include "winapi.h"

#include <string>
#include <vector>

namespace trellan::test {

struct FakeAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    std::vector<BYTE> value;  // as the editor delivers it (strings with their NUL)
    WORD stream = 0;          // 0: file level
    bool nameTerminated = true;  // false: the name's length and copy leave out its NUL
    WORD language = 0;           // index into the file's language list
};

FakeAttribute StringAttribute(const std::u16string& name, const std::u16string& value, WORD stream = 0);
FakeAttribute DwordAttribute(const std::u16string& name, DWORD value, WORD stream = 0);

// What the editor does. -1 in an index field means "never".
struct EditorScript {
    std::vector<FakeAttribute> attributes;
    HRESULT createResult = S_OK;
    bool createLeavesEditor = false;  // a failing WMCreateEditor still hands out an editor
    bool createGivesNull = false;     // a successful WMCreateEditor hands out no editor
    HRESULT openResult = S_OK;
    bool grantInfo3 = true;
    bool grantInfo2 = true;
    bool grantInfo1 = true;
    HRESULT info1Refusal = E_NOINTERFACE;
    HRESULT countResult = S_OK;
    int failProbeAt = -1;
    int failReadAt = -1;
    HRESULT failureCode = E_UNEXPECTED;
};

// What the editor saw.
struct EditorLog {
    int created = 0;
    int liveReferences = 0;  // references handed out and not yet released
    int destroyed = 0;
    int opens = 0;  // Open and OpenStream
    int closes = 0;
    std::u16string openedPath;  // Open's; "<stream>" after OpenStream
    std::vector<std::string> calls;  // "Create", "CreateReader", "QI3", "QI2", "QI1", "CountEx", "Count", ...
};

// Installs the scripted editor as WMCreateEditor's factory for the life of
// the object, and puts the previous factory back afterwards.
class ScriptedEditor {
public:
    explicit ScriptedEditor(EditorScript script);
    ~ScriptedEditor();
    ScriptedEditor(const ScriptedEditor&) = delete;
    ScriptedEditor& operator=(const ScriptedEditor&) = delete;

    const EditorLog& Log() const;
    EditorScript& Script();
};

}  // namespace trellan::test
