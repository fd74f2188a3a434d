#include "class_source.h"

#include <cstring>

namespace trellan::windows_test {
namespace {

ClassSource* currentSource = nullptr;

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

std::basic_string<WCHAR> Widen(const char* text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return {};
    std::basic_string<WCHAR> wide(static_cast<size_t>(units), 0);
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}

// Entry points looked up by name, typed through void* to keep the
// conversion explicit.
template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool ClassSource::ParseOptions(int argc, char** argv, ClassSourceOptions& options, std::string& problem)
{
    bool routeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--route=loaded") == 0) {
            options.route = Route::Loaded;
            routeGiven = true;
        } else if (std::strcmp(arg, "--route=registered") == 0) {
            options.route = Route::Registered;
            routeGiven = true;
        } else if (std::strncmp(arg, "--module=", 9) == 0) {
            options.modulePath = Widen(arg + 9);
        } else {
            problem = std::string("unknown argument ") + arg;
            return false;
        }
    }
    if (!routeGiven || options.modulePath.empty()) {
        problem = "usage: windows_tests --route=loaded|registered --module=PATH [gtest options]";
        return false;
    }
    return true;
}

ClassSource::~ClassSource()
{
    if (module)
        FreeLibrary(module);
    if (comStarted)
        CoUninitialize();
}

HRESULT ClassSource::Start()
{
    if (options.route == Route::Loaded) {
        module = LoadLibraryW(options.modulePath.c_str());
        return module ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    comStarted = SUCCEEDED(result);
    return result;
}

HRESULT ClassSource::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const
{
    if (options.route == Route::Registered)
        return CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid, out);
    auto getClassObject = Lookup<GetClassObjectFunction>(module, "DllGetClassObject");
    if (!getClassObject)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return getClassObject(clsid, iid, out);
}

HRESULT ClassSource::CreateFilter(REFIID iid, void** out) const
{
    if (options.route == Route::Registered)
        return CoCreateInstance(CLSID_WMFilter, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    IClassFactory* factory = nullptr;
    HRESULT result = GetClassObject(CLSID_WMFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result))
        return result;
    result = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return result;
}

HMODULE ClassSource::LoadedModule() const
{
    return GetModuleHandleW(options.modulePath.c_str());
}

void ClassSource::Unload()
{
    if (module)
        FreeLibrary(module);
    module = nullptr;
}

HRESULT ClassSource::CanUnloadNow() const
{
    HMODULE loaded = LoadedModule();
    if (!loaded)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    auto canUnloadNow = Lookup<CanUnloadNowFunction>(loaded, "DllCanUnloadNow");
    if (!canUnloadNow)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return canUnloadNow();
}

ClassSource& Source()
{
    return *currentSource;
}

void SetSource(ClassSource* source)
{
    currentSource = source;
}

}  // namespace trellan::windows_test
