// Owns a handle from CreateFileW and closes it.
#pragma once

#include "winapi.h"

namespace host {

class OpenedFile {
public:
    explicit OpenedFile(HANDLE handle) : handle(handle) {}
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile() { Close(); }

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    // False when the close failed (a write the system could not finish).
    bool Close()
    {
        if (!IsOpen())
            return true;
        const BOOL closed = CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

private:
    HANDLE handle;
};

}  // namespace host
