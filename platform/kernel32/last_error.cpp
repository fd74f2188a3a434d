// The calling thread's last error code.
#include <win32/kernel32.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {

DWORD WINAPI GetLastError()
{
    return lastError;
}

void WINAPI SetLastError(DWORD code)
{
    lastError = code;
}

}  // extern "C"
