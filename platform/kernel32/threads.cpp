// CreateThread and WaitForSingleObject over POSIX threads;
// GetSystemInfo's processor count; GetTickCount64.
#include "kernel_objects.h"

#include <win32/kernel32.h>
#include <win32/threads.h>

#include <pthread.h>
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

// A new thread's stack, as the platform reserves by default, rather than the
// C library's 8 MiB: under a limit on the address space, every job's stack
// would leave less for reading files.
constexpr size_t defaultStackSize = 1024 * 1024;

struct ThreadStart {
    std::shared_ptr<ThreadState> state;
    LPTHREAD_START_ROUTINE start;
    void* parameter;
};

void* RunThread(void* argument)
{
    std::unique_ptr<ThreadStart> thread(static_cast<ThreadStart*>(argument));
    thread->start(thread->parameter);
    std::lock_guard<std::mutex> hold(thread->state->lock);
    thread->state->done = true;
    thread->state->ended.notify_all();
    return nullptr;
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
    ThreadStart* begin = nullptr;
    try {
        object->state = std::make_shared<ThreadState>();
        begin = new ThreadStart{object->state, start, parameter};
    } catch (...) {
        delete object;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Detached: the shared state, not the thread, tells when it ends.
    pthread_attr_t attributes;
    pthread_t thread;
    bool created = pthread_attr_init(&attributes) == 0;
    if (created) {
        pthread_attr_setstacksize(&attributes, defaultStackSize);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        created = pthread_create(&thread, &attributes, RunThread, begin) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!created) {
        delete begin;
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
