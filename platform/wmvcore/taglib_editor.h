// The metadata editor and the synchronous reader over TagLib: the entry
// points of the stand-in's wmvcore library, which WMCreateEditor and
// WMCreateSyncReader load on first use.
#pragma once

#include <win32/wmsdk.h>

// What the platform library looks up in the editor library.
#define PLATFORM_WMVCORE_ENTRY "PlatformWmvcore_CreateEditor"
#define PLATFORM_WMVCORE_READER_ENTRY "PlatformWmvcore_CreateSyncReader"

extern "C" {

// A new editor with one reference, not yet open.
__attribute__((visibility("default"))) HRESULT PlatformWmvcore_CreateEditor(IWMMetadataEditor** editor);
// A new reader with one reference, not yet open.
__attribute__((visibility("default"))) HRESULT PlatformWmvcore_CreateSyncReader(IWMSyncReader** reader);

}  // extern "C"
