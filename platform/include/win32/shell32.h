// The shell's known folders, where a program keeps its data, and its
// stream over a file.
#pragma once

#include "guid.h"
#include "streams.h"
#include "types.h"

using KNOWNFOLDERID = GUID;
using REFKNOWNFOLDERID = const KNOWNFOLDERID&;

// Create the folder when it does not exist yet.
#define KF_FLAG_CREATE 0x00008000

extern "C" {

// The folder of a user's local application data. On Linux it is the
// XDG data home: ${XDG_DATA_HOME:-$HOME/.local/share}.
extern const KNOWNFOLDERID FOLDERID_LocalAppData;
// The user's own folder: $HOME on Linux.
extern const KNOWNFOLDERID FOLDERID_Profile;

// The path of the known folder `id`, in memory from CoTaskMemAlloc that the
// caller frees (null on failure). FOLDERID_LocalAppData and
// FOLDERID_Profile are known; KF_FLAG_CREATE makes it, and the folders
// above it, when missing.
HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

// A stream over the file `file`, for reading (STGM_READ, with any sharing
// flag): the only mode the stand-in offers; STG_E_INVALIDFLAG for a mode
// that writes, or for `create`. Opened without waiting, and only a regular
// file: HRESULT_FROM_WIN32 of ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED (a folder too, as the platform answers) or
// ERROR_INVALID_FUNCTION (a pipe, socket or device). The stream keeps its
// position itself and reads by position; Stat gives the size, the times and
// the path (unless STATFLAG_NONAME).
HRESULT STDAPICALLTYPE SHCreateStreamOnFileEx(LPCWSTR file, DWORD mode, DWORD attributes, BOOL create,
                                              IStream* templateStream, IStream** stream);

}  // extern "C"
