// Finds the filter for a file through the registry, as the platform's
// filter loader does: the extension, its persistent handler, the handler's
// IFilter add-in (the filter's class), and the class's in-process server.
#pragma once

#include "system/slim_lock.h"

#include <map>
#include <string>

namespace host {

struct FilterLocation {
    CLSID clsid{};
    std::u16string modulePath;
};

// On failure `problem` says what is missing, e.g. "no filter is registered
// for the extension .txt".
HRESULT FindFilter(const std::u16string& filePath, FilterLocation& location, std::string& problem);

// FindFilter for many files: each extension is looked up once (letter case
// aside) and the answer kept for the run. Safe to use from several threads.
class FilterFinder {
public:
    // A non-empty `forcedModule` skips the registry: every file goes to the
    // class WMFilter of that module.
    explicit FilterFinder(std::u16string forcedModule = {});

    HRESULT Find(const std::u16string& path, FilterLocation& location, std::string& problem);
    // False when no filter is registered for the file's extension.
    bool HasFilter(const std::u16string& path);

private:
    struct Answer {
        HRESULT status;
        FilterLocation location;
        std::string problem;
    };
    const Answer& Lookup(const std::u16string& path);

    const std::u16string forcedModule;
    SlimLock lock;
    std::map<std::u16string, Answer> answers;  // by lower-case extension
};

}  // namespace host
