// The kernel32 resource functions: loading a module file as data, finding
// and reading its resources, and short path names.
//
// A module's resources are the compiled resource file (the ".res" format)
// that the module carries as its ELF section ".rsrc". A data-file load maps
// the file read-only and never runs it; its handle has the low bit set, as
// the platform marks data-file handles.
#pragma once

#include "kernel32.h"

#ifndef DONT_RESOLVE_DLL_REFERENCES
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#endif
#ifndef LOAD_LIBRARY_AS_DATAFILE
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#endif
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

#ifndef ERROR_RESOURCE_LANG_NOT_FOUND
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815
#endif

// Standard resource types.
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_VERSION MAKEINTRESOURCEW(16)

extern "C" {

// With LOAD_LIBRARY_AS_DATAFILE (or the image-resource and exclusive
// data-file flags) maps the file as data: null with ERROR_FILE_NOT_FOUND for
// a missing file, ERROR_BAD_EXE_FORMAT for a file that is not an ELF module
// with a well-formed ".rsrc" section. Any other flags load the module as
// LoadLibraryW does. `file` must be null. FreeLibrary releases either kind.
HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);

// Finds a resource by name and type, each an integer id (MAKEINTRESOURCEW,
// or text "#<decimal>") or a name compared without regard to case. Null with
// ERROR_RESOURCE_TYPE_NOT_FOUND when no resource has the type,
// ERROR_RESOURCE_NAME_NOT_FOUND when none of that type has the name, and
// ERROR_RESOURCE_DATA_NOT_FOUND for a module without a resource section.
// `module` is a data-file handle, a module loaded as code (its resources are
// read from its file on disk) or null for the process image.
HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// As FindResourceW, for one language only.
HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);

// The resource's bytes, valid until the module is freed.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL data);
BOOL WINAPI FreeResource(HGLOBAL data);

// Linux has no short names: a path that exists is its own short form.
// Answers the length without the NUL when it fits in `size` units, the
// size needed with the NUL when it does not (the buffer is then untouched),
// 0 with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when nothing is there.
DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);

}  // extern "C"
