// The module under test, loaded as a host loads it: LoadLibraryW, then the
// exports through GetProcAddress. Each LoadedModule is a fresh load (the
// module must not be loaded already), and its end unloads the module.
#pragma once

#include "trellan_ids.h"
#include "winapi.h"

#include <string>

namespace trellan::test {

using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

// The module's path as the build made it.
std::u16string ModulePath();
// Whether the module is loaded in this process now.
bool ModuleIsLoaded();

class LoadedModule {
public:
    LoadedModule();
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool Loaded() const { return module != nullptr; }
    HMODULE Handle() const { return module; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return getClassObject(clsid, iid, out); }
    HRESULT CanUnloadNow() const { return canUnloadNow(); }
    // The filter's class factory, with a reference for the caller.
    IClassFactory* Factory() const;

    // Unloads the module now; false when FreeLibrary refused.
    bool Unload();

private:
    HMODULE module = nullptr;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
};

// The module lock count, measured through the exports alone: LockServer
// steps it down (or up) until DllCanUnloadNow answers S_OK, and back again.
// `factory` is a held factory, whose own unit is part of the count.
LONG MeasureLockCount(const LoadedModule& module, IClassFactory* factory);

}  // namespace trellan::test
