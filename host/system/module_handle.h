// Owns a module handle from LoadLibraryW or LoadLibraryExW and frees it.
#pragma once

#include "winapi.h"

namespace host {

class ModuleHandle {
public:
    explicit ModuleHandle(HMODULE handle) : handle(handle) {}
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    ~ModuleHandle()
    {
        if (handle)
            FreeLibrary(handle);
    }
    HMODULE Get() const { return handle; }

private:
    HMODULE handle;
};

}  // namespace host
