// The process heap keeps the memory it has grown to, as the platform's heap
// does, instead of giving it back to the system after every large block.
// With the C library's defaults, a process that reads one file after
// another (the host's dump and index) grew and trimmed its heap, and mapped
// and unmapped each block over 128 KiB, once a file: a third of its time
// went to the kernel, faulting in and clearing the same pages again.
#include <malloc.h>

namespace {

// Freed memory kept, and blocks served from the heap, up to this size: the
// largest threshold the C library accepts on 64-bit systems.
constexpr int keptBytes = 32 << 20;

__attribute__((constructor)) void KeepHeapMemory()
{
    mallopt(M_TRIM_THRESHOLD, keptBytes);
    mallopt(M_MMAP_THRESHOLD, keptBytes);
}

}  // namespace
