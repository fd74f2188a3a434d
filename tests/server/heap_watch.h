// Which heap blocks have been given back: the test program puts its own
// HeapFree in front of the platform's (and passes every call on), so that a
// test can tell whether the module freed an object it no longer can be
// asked about, such as a class factory at unload.
#pragma once

namespace trellan::test {

// Starts watching `block`; forgets whether it was freed before.
void WatchHeapBlock(const void* block);
// Whether `block` has been given back since WatchHeapBlock.
bool HeapBlockFreed(const void* block);

}  // namespace trellan::test
