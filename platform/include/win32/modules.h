// The kernel32 module functions: loading libraries, module names and handles.
//
// A module handle is the address at which the module's image starts, as on
// Windows: the same handle whether it came from LoadLibraryW, from
// GetModuleHandleW or GetModuleHandleExW, or from a module asking about an
// address inside itself. The process image is a module too (a null name or
// handle stands for it where the platform says so).
#pragma once

#include "ole32.h"

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193
#endif

extern "C" {

// Loads the module at `fileName` (a relative path is taken from the current
// directory; a bare name goes through the loader's search; a system DLL's
// name, bare or in the system folder, loads the stand-in) and runs its
// load-time steps on the first load. Every successful call must be matched
// by a FreeLibrary. Null with the last error set when the module cannot be
// loaded: ERROR_MOD_NOT_FOUND for a missing file, ERROR_BAD_EXE_FORMAT for
// a file that is not a loadable module.
HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);

// Drops one load of the module; the last one runs its unload-time steps and
// unmaps it.
BOOL WINAPI FreeLibrary(HMODULE module);

// The address of the exported function `procName`, or null with
// ERROR_PROC_NOT_FOUND. Exports by ordinal do not exist here.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);

// Writes the module's absolute path and a NUL; answers the number of units
// written without the NUL. A buffer that is too small receives as much as
// fits, NUL-terminated; the answer is then `size` and the last error
// ERROR_INSUFFICIENT_BUFFER. A null module names the process image.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// The handle of a module already loaded, found by its file name (with or
// without its directory); null names the process image. Takes no load.
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);

// As GetModuleHandleW; with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
// `moduleName` is an address inside the module sought. Without
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the module gains a load,
// which a FreeLibrary must drop.
BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);

// The system folder: the folder of the stand-in library, where the system
// DLLs are found ("wmvcore.dll" there is the stand-in's media-format
// runtime), without a trailing separator. Answers the units written without
// the NUL; for a buffer that is too small, the units needed with the NUL.
UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);

// The loader never calls thread attach or detach here; answers whether the
// handle names a loaded module.
BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

}  // extern "C"
