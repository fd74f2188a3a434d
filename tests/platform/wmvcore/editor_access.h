// Opens files with the platform's metadata editor and reads attributes back
// through its header-information interfaces, for the media tests.
#pragma once

#include "com_ptr.h"
#include "winapi.h"

#include <string>
#include <vector>

namespace trellan::test {

struct ReadAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    std::vector<BYTE> value;
    WORD language = 0;

    std::u16string Text() const;  // a string value up to its NUL
    DWORD Dword() const;
    QWORD Qword() const;
    WORD Word() const;
    BOOL Bool() const;
};

// An editor from WMCreateEditor with Open called on `path`.
struct OpenedEditor {
    ComPtr<IWMMetadataEditor> editor;
    HRESULT openResult = E_FAIL;

    ComPtr<IWMHeaderInfo3> Info3() const;
    ComPtr<IWMHeaderInfo> Info1() const;
};
OpenedEditor OpenEditor(const std::string& path);

// Every attribute under `stream` through the level-3 interface, read with a
// probe and then a read with buffers of exactly the probed lengths. Test
// failures are reported through gtest.
std::vector<ReadAttribute> ReadAllEx(IWMHeaderInfo3* info, WORD stream);
// The file-level attributes through the level-1 interface, the same way.
std::vector<ReadAttribute> ReadAllLevel1(IWMHeaderInfo* info);

std::vector<std::u16string> NamesOf(const std::vector<ReadAttribute>& attributes);
// The first attribute named `name`, or null.
const ReadAttribute* Find(const std::vector<ReadAttribute>& attributes, const std::u16string& name);

}  // namespace trellan::test
