// The runtime's WMCreateEditor and WMCreateSyncReader, each resolved once:
// the lock serialises the first loads, and each function is published with
// one atomic store after the module holding it is loaded, so that a thread
// reading it without the lock never sees a function whose module is not in
// place. The module is kept for the life of the process.
#include "media_runtime.h"

#include "system_library.h"

#include <atomic>

namespace trellan {
namespace {

// Usable without initialisation: nothing runs in the entry point for it.
SRWLOCK runtimeLock = SRWLOCK_INIT;
HMODULE runtimeModule = nullptr;  // under runtimeLock; never freed
std::atomic<CreateEditorFunction> createEditorEntry{nullptr};
std::atomic<CreateSyncReaderFunction> createSyncReaderEntry{nullptr};

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

// `name` of the runtime, published in `entry`: loads the runtime the first
// time it is found. A runtime loaded here but lacking the function is
// freed again (nothing of it is in use yet).
template <typename Function>
HRESULT FindRuntimeFunction(std::atomic<Function>& entry, const char* name, Function* function)
{
    *function = entry.load(std::memory_order_acquire);
    if (*function)
        return S_OK;

    ExclusiveLock hold(runtimeLock);
    *function = entry.load(std::memory_order_relaxed);
    if (*function)
        return S_OK;  // another thread found it meanwhile
    const bool loadedHere = runtimeModule == nullptr;
    HMODULE module = loadedHere ? LoadSystemLibrary(OLESTR("wmvcore.dll")) : runtimeModule;
    if (!module)
        return LastLoaderError();
    FARPROC found = GetProcAddress(module, name);
    if (!found) {
        const HRESULT result = LastLoaderError();
        if (loadedHere)
            FreeLibrary(module);
        return result;
    }
    runtimeModule = module;
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    entry.store(*function, std::memory_order_release);
    return S_OK;
}

}  // namespace

HRESULT FindCreateEditor(CreateEditorFunction* createEditor)
{
    return FindRuntimeFunction(createEditorEntry, "WMCreateEditor", createEditor);
}

HRESULT FindCreateSyncReader(CreateSyncReaderFunction* createSyncReader)
{
    return FindRuntimeFunction(createSyncReaderEntry, "WMCreateSyncReader", createSyncReader);
}

}  // namespace trellan
