// Finds the filter for a file through the registry, as the platform's
// filter loader does: the extension, its persistent handler, the handler's
// IFilter add-in (the filter's class), and the class's in-process server.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

struct FilterLocation {
    CLSID clsid{};
    std::u16string modulePath;
};

// On failure `problem` says what is missing, e.g. "no filter is registered
// for the extension .txt".
HRESULT FindFilter(const std::u16string& filePath, FilterLocation& location, std::string& problem);

}  // namespace host
