// Owns a thread's handle: Join waits for the thread to end and closes the
// handle, and so does the destructor for a thread not yet joined.
#pragma once

#include "winapi.h"

namespace host {

class JoinedThread {
public:
    JoinedThread() = default;
    explicit JoinedThread(HANDLE handle) : handle(handle) {}
    JoinedThread(JoinedThread&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    JoinedThread(const JoinedThread&) = delete;
    JoinedThread& operator=(const JoinedThread&) = delete;
    ~JoinedThread() { Join(); }

    // False when the thread could not be started.
    explicit operator bool() const { return handle != nullptr; }

    void Join()
    {
        if (!handle)
            return;
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
        handle = nullptr;
    }

private:
    HANDLE handle = nullptr;
};

}  // namespace host
