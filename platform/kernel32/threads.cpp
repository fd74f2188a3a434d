// CreateThread and WaitForSingleObject over std::thread;
// GetSystemInfo's processor count; GetTickCount64.
#include "kernel_objects.h"

#include <win32/kernel32.h>
#include <win32/threads.h>

#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace platform::kernel {

// What a thread and its handle share: the handle may be closed before the
// thread ends, and the thread may end before anyone waits.
struct ThreadState {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
};

struct ThreadObject : KernelObject {
    static constexpr Kind kindOf = Kind::thread;
    ThreadObject() : KernelObject(Kind::thread) {}
    std::shared_ptr<ThreadState> state;
};

}  // namespace platform::kernel

namespace {

using platform::kernel::ThreadObject;
using platform::kernel::ThreadState;

void RunThread(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE start, void* parameter)
{
    start(parameter);
    std::lock_guard<std::mutex> hold(state->lock);
    state->done = true;
    state->ended.notify_all();
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                           DWORD creationFlags, DWORD* threadId)
{
    if (!start || stackSize != 0 || creationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* object = new (std::nothrow) ThreadObject;
    if (!object) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        object->state = std::make_shared<ThreadState>();
        // Detached: the shared state, not the std::thread, tells when it ends.
        std::thread(RunThread, object->state, start, parameter).detach();
    } catch (...) {
        delete object;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId)
        *threadId = 0;
    return object;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    ThreadObject* thread = platform::kernel::ObjectOf<ThreadObject>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    ThreadState& state = *thread->state;
    std::unique_lock<std::mutex> hold(state.lock);
    if (milliseconds == INFINITE)
        state.ended.wait(hold, [&] { return state.done; });
    else
        state.ended.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return state.done; });
    return state.done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO information)
{
    *information = SYSTEM_INFO{};
    cpu_set_t allowed;
    int count = sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 0;
    if (count <= 0)
        count = static_cast<int>(std::thread::hardware_concurrency());
    information->dwNumberOfProcessors = count > 0 ? static_cast<DWORD>(count) : 1;
    information->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    information->dwAllocationGranularity = 65536;
    information->wProcessorArchitecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
}

ULONGLONG WINAPI GetTickCount64()
{
    using namespace std::chrono;
    return static_cast<ULONGLONG>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // extern "C"
