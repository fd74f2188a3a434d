// The standard component-categories manager.
#pragma once

#include <win32/comcat.h>

namespace platform::categories {

// A new categories manager, queried for `riid`.
HRESULT CreateCategoryManager(REFIID riid, void** object);

}  // namespace platform::categories
