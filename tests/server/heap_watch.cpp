#include "heap_watch.h"

#include "winapi.h"

#include <dlfcn.h>

#include <mutex>
#include <vector>

namespace {

struct WatchedBlock {
    const void* block;
    bool freed;
};

// Never destroyed: HeapFree may still be called while the process exits.
struct HeapWatch {
    std::mutex lock;
    std::vector<WatchedBlock> blocks;
};

HeapWatch& Watch()
{
    static HeapWatch* watch = new HeapWatch;
    return *watch;
}

using HeapFreeFunction = BOOL(WINAPI*)(HANDLE, DWORD, void*);

}  // namespace

namespace trellan::test {

void WatchHeapBlock(const void* block)
{
    HeapWatch& watch = Watch();
    std::lock_guard<std::mutex> hold(watch.lock);
    std::erase_if(watch.blocks, [&](const WatchedBlock& watched) { return watched.block == block; });
    watch.blocks.push_back({block, false});
}

bool HeapBlockFreed(const void* block)
{
    HeapWatch& watch = Watch();
    std::lock_guard<std::mutex> hold(watch.lock);
    for (const WatchedBlock& watched : watch.blocks) {
        if (watched.block == block)
            return watched.freed;
    }
    return false;
}

}  // namespace trellan::test

// Found before the platform's HeapFree by every module of the process.
extern "C" BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* block)
{
    static const auto platformHeapFree = reinterpret_cast<HeapFreeFunction>(dlsym(RTLD_NEXT, "HeapFree"));
    if (block) {
        HeapWatch& watch = Watch();
        std::lock_guard<std::mutex> hold(watch.lock);
        for (WatchedBlock& watched : watch.blocks) {
            if (watched.block == block)
                watched.freed = true;
        }
    }
    return platformHeapFree(heap, flags, block);
}
