// Linux only, beside the platform's API: a stream over a file that is open
// already, for a process that may open no file by name (a sandboxed filter
// worker is handed each file's descriptor). The stream is the one that
// SHCreateStreamOnFileEx makes.
#pragma once

#include "streams.h"

extern "C" {

// A read-only stream over `descriptor`, which it owns from then on (closed
// when the stream goes, and on failure too). Only a regular file:
// HRESULT_FROM_WIN32(ERROR_INVALID_FUNCTION) for anything else,
// HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE) for a descriptor that is not
// open. Stat gives no name: the stream was made without one.
HRESULT PlatformCreateStreamOnDescriptor(int descriptor, IStream** stream);

}  // extern "C"
