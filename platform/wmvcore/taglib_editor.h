// The metadata editor over TagLib.
#pragma once

#include <win32/wmsdk.h>

namespace platform {

// A new editor with one reference, not yet open.
HRESULT CreateTagLibEditor(IWMMetadataEditor** editor);

}  // namespace platform
