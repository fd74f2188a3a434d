// The shell's known folders: where a program keeps its data.
#pragma once

#include "guid.h"
#include "types.h"

using KNOWNFOLDERID = GUID;
using REFKNOWNFOLDERID = const KNOWNFOLDERID&;

// Create the folder when it does not exist yet.
#define KF_FLAG_CREATE 0x00008000

extern "C" {

// The folder of a user's local application data. On Linux it is the
// XDG data home: ${XDG_DATA_HOME:-$HOME/.local/share}.
extern const KNOWNFOLDERID FOLDERID_LocalAppData;

// The path of the known folder `id`, in memory from CoTaskMemAlloc that the
// caller frees (null on failure). Only FOLDERID_LocalAppData is known;
// KF_FLAG_CREATE makes it, and the folders above it, when missing.
HRESULT STDAPICALLTYPE SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

}  // extern "C"
