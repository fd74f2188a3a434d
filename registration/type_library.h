// Registration of the type library that the library file carries.
#pragma once

#include "winapi.h"

namespace trellan {

// Units of the path buffer: room for a 260-unit module path and 10 more
// for a suffix or a replaced extension.
constexpr int typeLibraryPathUnits = 270;
// Units of the help-directory buffer.
constexpr int helpDirectoryUnits = 260;

// The length of the directory part of `path`, its last separator ('\\',
// '/' or ':') included; 0 when there is none.
int DirectoryPartLength(LPCWSTR path);

}  // namespace trellan
