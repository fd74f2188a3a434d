// Loads filter modules and creates filter objects through their class
// factories, as the platform's filter loader does. Each module is loaded
// once and kept until the loader goes; before it is freed, the loader asks
// DllCanUnloadNow. Safe to use from several threads: each caller gets a
// filter object of its own, created on its thread.
#pragma once

#include "com_ptr.h"
#include "system/slim_lock.h"

#include <map>
#include <string>
#include <utility>

namespace host {

class FilterLoader {
public:
    FilterLoader() = default;
    FilterLoader(const FilterLoader&) = delete;
    FilterLoader& operator=(const FilterLoader&) = delete;
    ~FilterLoader();

    // Creates an object of class `clsid` from the module at `modulePath`
    // and hands out its IFilter. On failure `problem` may say more.
    HRESULT CreateFilter(const std::u16string& modulePath, REFCLSID clsid, IFilter** filter,
                         std::string& problem);

    // Asks every loaded module whether it can unload; reports the ones that
    // still hold locks, and with `verbose` the ones that can, on stderr or
    // (given `report`) in lines appended to it. Answers true when all can.
    // The class factories are let go first.
    bool CheckUnload(bool verbose, std::string* report = nullptr);

private:
    struct Module {
        HMODULE handle = nullptr;
        HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
        HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
        HRESULT loadStatus = S_OK;  // a module that failed to load is not tried again
        std::string problem;
    };
    // The class factory of `clsid` in the module at `path`, got at the
    // first call and kept (the loader holds the reference).
    HRESULT ClassFactory(const std::u16string& path, REFCLSID clsid, IClassFactory*& factory, std::string& problem);
    HRESULT LoadModule(const std::u16string& path, Module*& module);

    SlimLock lock;
    std::map<std::u16string, Module> modules;
    std::map<std::pair<std::u16string, std::string>, trellan::ComPtr<IClassFactory>> factories;
};

}  // namespace host
