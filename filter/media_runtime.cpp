// The runtime's WMCreateEditor, resolved once: the lock serialises the
// first loads, and the function is published with one atomic store after
// the module holding it is loaded, so that a thread reading it without the
// lock never sees a function whose module is not in place.
#include "media_runtime.h"

#include "system_library.h"

#include <atomic>

namespace trellan {
namespace {

// Usable without initialisation: nothing runs in the entry point for it.
SRWLOCK runtimeLock = SRWLOCK_INIT;
HMODULE runtimeModule = nullptr;  // under runtimeLock
std::atomic<CreateEditorFunction> createEditorEntry{nullptr};

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock(lock) { AcquireSRWLockExclusive(&lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock); }

private:
    SRWLOCK& lock;
};

HRESULT LastLoaderError()
{
    const HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

}  // namespace

HRESULT FindCreateEditor(CreateEditorFunction* createEditor)
{
    *createEditor = createEditorEntry.load(std::memory_order_acquire);
    if (*createEditor)
        return S_OK;

    ExclusiveLock hold(runtimeLock);
    *createEditor = createEditorEntry.load(std::memory_order_relaxed);
    if (*createEditor)
        return S_OK;  // another thread loaded it meanwhile
    HMODULE module = LoadSystemLibrary(OLESTR("wmvcore.dll"));
    if (!module)
        return LastLoaderError();
    FARPROC found = GetProcAddress(module, "WMCreateEditor");
    if (!found) {
        const HRESULT result = LastLoaderError();
        FreeLibrary(module);
        return result;
    }
    runtimeModule = module;
    *createEditor = reinterpret_cast<CreateEditorFunction>(reinterpret_cast<void*>(found));
    createEditorEntry.store(*createEditor, std::memory_order_release);
    return S_OK;
}

void ReleaseMediaRuntime()
{
    ExclusiveLock hold(runtimeLock);
    createEditorEntry.store(nullptr, std::memory_order_relaxed);
    if (runtimeModule)
        FreeLibrary(runtimeModule);
    runtimeModule = nullptr;
}

}  // namespace trellan
