// Control of the Linux registry stand-in, for tests and tools only (the
// trellan command's platform corner uses the database and transaction
// controls). The system's code never calls these.
#pragma once

#include "advapi32.h"

extern "C" {

// Closes the registry database (a write transaction still open is rolled
// back) and forgets every open key handle. The next
// registry call opens the database again, reading $TRELLAN_REGISTRY afresh;
// with ":memory:" that is a new, empty registry.
void PlatformRegistry_Reset();

// Marks the key `subKey` under `root` read-only (or writable again): it then
// opens for reading only, and opening, creating or deleting it for writing
// fails with ERROR_ACCESS_DENIED. Answers a registry error code.
LONG PlatformRegistry_SetKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly);

// Number of key handles open in this process (predefined roots excluded).
long PlatformRegistry_OpenHandleCount();

// Opens the registry database now if it is not open, and answers whether it
// can be used: ERROR_SUCCESS, with `writable` set when it can also be
// written (a database that cannot be written is still read); otherwise
// ERROR_PATH_NOT_FOUND (the folder of a chosen file does not exist),
// ERROR_ACCESS_DENIED (the file cannot be read), ERROR_REGISTRY_CORRUPT (not
// a registry database, or damaged) or ERROR_CANTOPEN.
LONG PlatformRegistry_Open(BOOL* writable);

// The database file (or ":memory:") that the registry uses, or that the
// last attempt to open it tried. Valid until the next registry call.
const char* PlatformRegistry_Path();

// One write transaction for a whole command: every registry call of the
// process joins it until PlatformRegistry_EndWrite, so that a process killed
// in between leaves the registry as it was. Begin waits for the writers of
// other processes to finish (ERROR_BUSY when they take minutes); a database
// that can only be read answers ERROR_ACCESS_DENIED. End commits (or rolls
// back) and answers the commit's result.
LONG PlatformRegistry_BeginWrite();
LONG PlatformRegistry_EndWrite(BOOL commit);

}  // extern "C"
