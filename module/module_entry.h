// The library entry point, called by the loader glue on every platform.
#pragma once

#include "winapi.h"

namespace trellan {

// Attach fills the module record; detach empties it. Answers TRUE always.
BOOL WINAPI ModuleEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // namespace trellan
