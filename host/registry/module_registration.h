// Calling a module's registration exports (DllRegisterServer,
// DllUnregisterServer), as the platform's registration tool does, and
// finding the filter module that ships with this program.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

// Loads `module`, calls its export `exportName` and frees it again. The
// caller holds the registry's write transaction. On failure to load or to
// find the export answers false with `problem` said; otherwise true with the
// export's answer in `result`.
bool CallRegistrationExport(const std::u16string& module, const char* exportName, HRESULT& result,
                            std::string& problem);

// The full path of the filter module installed with this program (see
// shippedModuleFolders), or of the one beside it when none is; `found`
// says whether the file is there.
std::u16string ShippedModule(bool* found = nullptr);

// True when a file or folder is at `path`.
bool PathExists(const std::u16string& path);

}  // namespace host
