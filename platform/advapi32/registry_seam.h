// The registry test seam: a named registry function fails on request.
#pragma once

#include <win32/windows.h>

namespace platform::registry {

// The error the named function must answer on this call, or ERROR_SUCCESS.
LONG SeamFailure(const char* function);

}  // namespace platform::registry
