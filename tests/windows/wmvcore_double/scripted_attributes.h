// The attributes that the wmvcore test double serves, read from a small
// text file that the environment variable TRELLAN_WMVCORE_SCRIPT names.
//
// One line per attribute, UTF-8:   FILE|STREAM|NAME|TYPE|VALUE
//   FILE    the base name of the opened file, compared without case
//   STREAM  0 for the file's own attributes, 1..n for a stream's
//   TYPE    string, dword, or fail (the probe and the read of this
//           attribute fail with E_UNEXPECTED)
//   VALUE   the rest of the line; for dword a decimal number
// A line holding only FILE declares a file with no attributes. Opening a
// file that no line names fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
// Empty lines and lines starting with # are skipped.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

#include <string>
#include <vector>

namespace wmvcore_double {

enum class AttributeKind { String, Dword, Fail };

struct ScriptedAttribute {
    WORD stream = 0;
    std::basic_string<WCHAR> name;
    AttributeKind kind = AttributeKind::String;
    std::basic_string<WCHAR> text;  // String
    DWORD number = 0;               // Dword
};

// Reads the script and collects the attributes of the file at `path`, in
// script order. Answers S_OK when the script names the file, a failure
// otherwise (no script, unreadable script, file not named).
HRESULT LoadScriptedAttributes(const WCHAR* path, std::vector<ScriptedAttribute>& attributes);

}  // namespace wmvcore_double
