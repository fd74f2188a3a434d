// Control of the Linux registry stand-in, for tests and tools only. The
// system's code never calls these.
#pragma once

#include "advapi32.h"

extern "C" {

// Closes the registry database and forgets every open key handle. The next
// registry call opens the database again, reading $TRELLAN_REGISTRY afresh;
// with ":memory:" that is a new, empty registry.
void PlatformRegistry_Reset();

// Marks the key `subKey` under `root` read-only (or writable again): it then
// opens for reading only, and opening, creating or deleting it for writing
// fails with ERROR_ACCESS_DENIED. Answers a registry error code.
LONG PlatformRegistry_SetKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly);

// Number of key handles open in this process (predefined roots excluded).
long PlatformRegistry_OpenHandleCount();

}  // extern "C"
