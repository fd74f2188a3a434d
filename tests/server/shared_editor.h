// A metadata editor that many threads may use at once: every file has the
// same two attributes, "Title" and "Author", offered through the level-1
// header interface only. Installed as WMCreateEditor's factory for the life
// of the object.
#pragma once

#include "winapi.h"

#include <string>

namespace trellan::test {

extern const std::u16string sharedEditorTitle;
extern const std::u16string sharedEditorAuthor;

class SharedEditor {
public:
    SharedEditor();
    ~SharedEditor();
    SharedEditor(const SharedEditor&) = delete;
    SharedEditor& operator=(const SharedEditor&) = delete;

    // Editors made and not yet destroyed.
    static long LiveEditors();
};

}  // namespace trellan::test
