// Test seams of the Linux stand-in. Only tests call these; the system's code
// calls the platform exactly as it would on Windows.
#pragma once

#include "wmsdk.h"

extern "C" {

// After `skip` more successful allocations, the next `count` allocations
// fail. Covers HeapAlloc, HeapReAlloc, CoTaskMemAlloc and CoTaskMemRealloc.
// PlatformSeam_FailAllocations(0, 0) turns the seam off.
void PlatformSeam_FailAllocations(int skip, int count);

// Number of allocations that the seam has seen since the process started.
long PlatformSeam_AllocationCount();

// The named registry function ("RegCreateKeyExW", "RegCloseKey", ...) fails
// with `error`: after `skip` more calls of it succeed, the next `count` fail.
void PlatformSeam_FailRegistryCall(const char* function, LONG error, int skip, int count);
void PlatformSeam_ClearRegistryFailures();

// Fits the process heap, and the metadata editor's admission of a file's
// reading, to the memory limits as they are now, as at the start of a
// process: for a child that set a limit after it was forked.
void PlatformSeam_FitHeapToLimits();

// Replaces the metadata editor's factory behind WMCreateEditor; null puts
// the TagLib editor back. Returns the factory that was installed before.
using PlatformEditorFactory = HRESULT (*)(IWMMetadataEditor** editor);
PlatformEditorFactory PlatformSeam_SetEditorFactory(PlatformEditorFactory factory);

// The same for the synchronous reader behind WMCreateSyncReader.
using PlatformSyncReaderFactory = HRESULT (*)(IWMSyncReader** reader);
PlatformSyncReaderFactory PlatformSeam_SetSyncReaderFactory(PlatformSyncReaderFactory factory);

}  // extern "C"
