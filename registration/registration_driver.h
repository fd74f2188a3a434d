// The registration driver behind DllRegisterServer and DllUnregisterServer:
// each chosen row of the class table runs its registry script; then the
// type library follows.
#pragma once

#include "server_module.h"

namespace trellan {

// Registers every chosen row of `classTable`, stopping at the first
// failure, then (with `registerTypeLibrary`) the type library that the
// file of `typeLibInstance` carries. `classFilter` chooses the rows of one
// class; without it every row without a description is chosen.
HRESULT RegisterServer(const ObjectMapEntry* classTable, HINSTANCE typeLibInstance, bool registerTypeLibrary,
                       const CLSID* classFilter);
// Undoes RegisterServer. Every failure is ignored: the answer is S_OK.
HRESULT UnregisterServer(const ObjectMapEntry* classTable, HINSTANCE typeLibInstance, bool unregisterTypeLibrary,
                         const CLSID* classFilter);

}  // namespace trellan
