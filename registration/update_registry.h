// The WMFilter row's registry update: writes the class's registry entries
// (true) or removes them (false).
#pragma once

#include "winapi.h"

namespace trellan {

HRESULT WINAPI UpdateRegistry(BOOL registerServer);

}  // namespace trellan
