// Loads filter modules and creates filter objects through their class
// factories, as the platform's filter loader does. Each module is loaded
// once and kept until the loader goes; before it is freed, the loader asks
// DllCanUnloadNow.
#pragma once

#include "winapi.h"

#include <map>
#include <string>

namespace host {

class FilterLoader {
public:
    FilterLoader() = default;
    FilterLoader(const FilterLoader&) = delete;
    FilterLoader& operator=(const FilterLoader&) = delete;
    ~FilterLoader();

    // Creates an object of class `clsid` from the module at `modulePath`
    // and hands out its IFilter.
    HRESULT CreateFilter(const std::u16string& modulePath, REFCLSID clsid, IFilter** filter);

    // Asks every loaded module whether it can unload; reports the ones that
    // still hold locks on stderr. Answers true when all can.
    bool CheckUnload(bool quiet);

private:
    struct Module {
        HMODULE handle = nullptr;
        HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
        HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    };
    HRESULT LoadModule(const std::u16string& path, Module** module);

    std::map<std::u16string, Module> modules;
};

}  // namespace host
