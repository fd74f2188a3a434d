#include "filter_loader.h"

#include "com_ptr.h"
#include "console.h"

#include <cstdio>

namespace host {

FilterLoader::~FilterLoader()
{
    for (auto& [path, module] : modules)
        FreeLibrary(module.handle);
}

HRESULT FilterLoader::LoadModule(const std::u16string& path, Module** module)
{
    auto found = modules.find(path);
    if (found != modules.end()) {
        *module = &found->second;
        return S_OK;
    }

    Module loaded;
    loaded.handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.c_str()));
    if (!loaded.handle) {
        HRESULT result = HRESULT_FROM_WIN32(GetLastError());
        std::fprintf(stderr, "trellan: cannot load the filter module %s: %s\n", ToUtf8(path).c_str(),
                     StatusName(result).c_str());
        return FAILED(result) ? result : E_FAIL;
    }
    loaded.getClassObject = reinterpret_cast<decltype(loaded.getClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(loaded.handle, "DllGetClassObject")));
    loaded.canUnloadNow = reinterpret_cast<decltype(loaded.canUnloadNow)>(
        reinterpret_cast<void*>(GetProcAddress(loaded.handle, "DllCanUnloadNow")));
    if (!loaded.getClassObject) {
        std::fprintf(stderr, "trellan: %s exports no DllGetClassObject\n", ToUtf8(path).c_str());
        FreeLibrary(loaded.handle);
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    *module = &(modules[path] = loaded);
    return S_OK;
}

HRESULT FilterLoader::CreateFilter(const std::u16string& modulePath, REFCLSID clsid, IFilter** filter)
{
    *filter = nullptr;
    Module* module = nullptr;
    HRESULT result = LoadModule(modulePath, &module);
    if (FAILED(result))
        return result;

    trellan::ComPtr<IClassFactory> factory;
    result = module->getClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(result))
        return result;
    return factory->CreateInstance(nullptr, IID_IFilter, reinterpret_cast<void**>(filter));
}

bool FilterLoader::CheckUnload(bool quiet)
{
    bool all = true;
    for (auto& [path, module] : modules) {
        HRESULT answer = module.canUnloadNow ? module.canUnloadNow() : S_FALSE;
        if (answer != S_OK) {
            all = false;
            std::fprintf(stderr, "trellan: module %s still holds locks (DllCanUnloadNow: %s)\n",
                         ToUtf8(path).c_str(), StatusName(answer).c_str());
        } else if (!quiet) {
            std::fprintf(stderr, "trellan: module %s can unload\n", ToUtf8(path).c_str());
        }
    }
    return all;
}

}  // namespace host
