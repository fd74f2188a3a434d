// The process heap over the C library's allocator. Private heaps are handles
// that share it; the module never creates one, but HeapDestroy must answer.
#include "allocation_seam.h"

#include <win32/kernel32.h>

#include <malloc.h>

#include <cstdlib>

namespace {
int processHeapTag;
}

extern "C" {

HANDLE WINAPI GetProcessHeap()
{
    return &processHeapTag;
}

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T)
{
    return &processHeapTag;
}

BOOL WINAPI HeapDestroy(HANDLE heap)
{
    return heap != nullptr;
}

void* WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    if (platform::AllocationShouldFail())
        return nullptr;
    // A zero-byte request still yields a distinct block, as on Windows.
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    return block;
}

void* WINAPI HeapReAlloc(HANDLE, DWORD, void* block, SIZE_T bytes)
{
    if (platform::AllocationShouldFail())
        return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

BOOL WINAPI HeapFree(HANDLE, DWORD, void* block)
{
    std::free(block);
    return TRUE;
}

SIZE_T WINAPI HeapCompact(HANDLE, DWORD)
{
    // Every thread's arena, not only the caller's.
    malloc_trim(0);
    SetLastError(NO_ERROR);
    return 0;
}

}  // extern "C"
