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

// The type library carried by the file of `typeLibInstance` (with `suffix`
// appended to its path), or by the ".tlb" file beside it, and the path it
// was loaded from.
HRESULT LoadTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix, BSTR* path, ITypeLib** typeLibrary);
HRESULT RegisterTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix);
HRESULT UnregisterTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix);

}  // namespace trellan
