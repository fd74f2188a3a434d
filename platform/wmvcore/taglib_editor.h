// The metadata editor over TagLib: the one entry point of the stand-in's
// wmvcore library, which WMCreateEditor loads on first use.
#pragma once

#include <win32/wmsdk.h>

// What WMCreateEditor looks up in the library.
#define PLATFORM_WMVCORE_ENTRY "PlatformWmvcore_CreateEditor"

extern "C" {

// A new editor with one reference, not yet open.
__attribute__((visibility("default"))) HRESULT PlatformWmvcore_CreateEditor(IWMMetadataEditor** editor);

}  // extern "C"
