// The loader's modules and class factories. A module is loaded and its
// exports found at its first use; a load that failed is remembered, not
// tried again. Each class factory is got once, under the lock, and held by
// the loader; objects are created outside the lock, on the caller's thread.
// The factories are let go before the modules are freed.
#include "filtering/filter_loader.h"

#include "text/text_conversion.h"
#include "text/status_names.h"

#include <cstdio>

namespace host {

FilterLoader::~FilterLoader()
{
    factories.clear();
    for (auto& [path, module] : modules)
        if (module.handle)
            FreeLibrary(module.handle);
}

HRESULT FilterLoader::LoadModule(const std::u16string& path, Module*& module)
{
    auto found = modules.find(path);
    if (found == modules.end()) {
        Module loaded;
        loaded.handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.c_str()));
        if (!loaded.handle) {
            HRESULT result = HRESULT_FROM_WIN32(GetLastError());
            loaded.loadStatus = FAILED(result) ? result : E_FAIL;
            loaded.problem = "cannot load the filter module " + ToUtf8(path);
        } else {
            loaded.getClassObject = reinterpret_cast<decltype(loaded.getClassObject)>(
                reinterpret_cast<void*>(GetProcAddress(loaded.handle, "DllGetClassObject")));
            loaded.canUnloadNow = reinterpret_cast<decltype(loaded.canUnloadNow)>(
                reinterpret_cast<void*>(GetProcAddress(loaded.handle, "DllCanUnloadNow")));
            if (!loaded.getClassObject) {
                loaded.loadStatus = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
                loaded.problem = "the filter module " + ToUtf8(path) + " exports no DllGetClassObject";
            }
        }
        found = modules.emplace(path, loaded).first;
    }
    module = &found->second;
    return module->loadStatus;
}

HRESULT FilterLoader::ClassFactory(const std::u16string& path, REFCLSID clsid, IClassFactory*& factory,
                                   std::string& problem)
{
    SlimLockHolder hold(lock);
    auto key = std::make_pair(path, std::string(reinterpret_cast<const char*>(&clsid), sizeof clsid));
    auto found = factories.find(key);
    if (found != factories.end()) {
        factory = found->second.Get();
        return S_OK;
    }
    Module* module = nullptr;
    HRESULT result = LoadModule(path, module);
    if (FAILED(result)) {
        problem = module->problem;
        return result;
    }
    trellan::ComPtr<IClassFactory> created;
    result = module->getClassObject(clsid, IID_IClassFactory, created.ReceiveVoid());
    if (FAILED(result)) {
        problem = "the filter module " + ToUtf8(path) + " serves no class factory for the filter class";
        return result;
    }
    factory = created.Get();
    factories.emplace(std::move(key), std::move(created));
    return S_OK;
}

HRESULT FilterLoader::CreateFilter(const std::u16string& modulePath, REFCLSID clsid, IFilter** filter,
                                   std::string& problem)
{
    *filter = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT result = ClassFactory(modulePath, clsid, factory, problem);
    if (FAILED(result))
        return result;
    result = factory->CreateInstance(nullptr, IID_IFilter, reinterpret_cast<void**>(filter));
    if (FAILED(result))
        problem = "the filter module " + ToUtf8(modulePath) + " could not create a filter object";
    return result;
}

bool FilterLoader::CheckUnload(bool verbose, std::string* report)
{
    std::string lines;
    SlimLockHolder hold(lock);
    factories.clear();
    bool all = true;
    for (auto& [path, module] : modules) {
        if (FAILED(module.loadStatus))
            continue;  // not loaded, or no filter module: nothing was created from it
        HRESULT answer = module.canUnloadNow ? module.canUnloadNow() : S_FALSE;
        if (answer != S_OK) {
            all = false;
            lines += "trellan: module " + ToUtf8(path) + " still holds locks (DllCanUnloadNow: " +
                     StatusName(answer) + ")\n";
        } else if (verbose) {
            lines += "trellan: module " + ToUtf8(path) + " can unload\n";
        }
    }
    if (report)
        *report += lines;
    else
        std::fputs(lines.c_str(), stderr);
    return all;
}

}  // namespace host
