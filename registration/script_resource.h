// Loading a registry script from the library's own resources and running
// it: the library's path becomes the replacement "Module", the script text
// is converted to UTF-16, expanded and walked block by block.
#pragma once

#include "replacement_map.h"

namespace trellan {

// Builds the replacement map ("Module", then the extra rows), loads the
// script resource `resourceId` of type "REGISTRY" from the file of
// `moduleInstance` and runs it to register (non-zero) or unregister.
// The script's "HKCR" blocks work in `classesRoot`.
HRESULT RunScriptResource(HINSTANCE moduleInstance, WORD resourceId, BOOL registerServer,
                          const ScriptReplacement* extra, HKEY classesRoot = HKEY_CLASSES_ROOT);

// Loads resource `resourceId` of `resourceType` from the file `modulePath`,
// mapped as data, and runs it with a fresh parser bound to `map`.
HRESULT LoadAndRunScript(ReplacementMap& map, LPCWSTR modulePath, WORD resourceId, LPCWSTR resourceType,
                         BOOL registerServer, HKEY classesRoot = HKEY_CLASSES_ROOT);

// The calling thread's last error as an HRESULT. A failure that left no
// last error still reports a failure: E_FAIL.
HRESULT LastErrorAsResult();

}  // namespace trellan
