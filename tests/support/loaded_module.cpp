#include "support/loaded_module.h"

#include "support/text.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

// An export as the function type it has.
template <typename Function>
Function ExportOf(HMODULE module, LPCSTR name)
{
    using Generic = void (*)();
    return reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
}

}  // namespace

std::u16string ModulePath()
{
    return Utf16(TRELLAN_MODULE_PATH);
}

bool ModuleIsLoaded()
{
    return GetModuleHandleW(ModulePath().c_str()) != nullptr;
}

LoadedModule::LoadedModule()
{
    EXPECT_FALSE(ModuleIsLoaded()) << "a test left the module loaded";
    module = LoadLibraryW(ModulePath().c_str());
    EXPECT_NE(module, nullptr) << "LoadLibraryW failed with " << GetLastError();
    if (!module)
        return;
    getClassObject = ExportOf<DllGetClassObjectFunction>(module, "DllGetClassObject");
    canUnloadNow = ExportOf<DllCanUnloadNowFunction>(module, "DllCanUnloadNow");
    EXPECT_NE(getClassObject, nullptr);
    EXPECT_NE(canUnloadNow, nullptr);
}

LoadedModule::~LoadedModule()
{
    Unload();
}

bool LoadedModule::Unload()
{
    if (!module)
        return true;
    HMODULE loaded = module;
    module = nullptr;
    return FreeLibrary(loaded) != FALSE;
}

IClassFactory* LoadedModule::Factory() const
{
    IClassFactory* factory = nullptr;
    EXPECT_EQ(GetClassObject(CLSID_WMFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
}

LONG MeasureLockCount(const LoadedModule& module, IClassFactory* factory)
{
    constexpr LONG limit = 64;
    if (module.CanUnloadNow() == S_OK)
        return 0;
    for (BOOL direction : {FALSE, TRUE}) {
        LONG steps = 0;
        while (steps < limit && module.CanUnloadNow() != S_OK) {
            factory->LockServer(direction);
            ++steps;
        }
        bool found = module.CanUnloadNow() == S_OK;
        for (LONG undo = 0; undo < steps; ++undo)
            factory->LockServer(!direction);
        if (found)
            return direction ? -steps : steps;
    }
    ADD_FAILURE() << "lock count beyond +-" << limit;
    return limit * 2;
}

}  // namespace trellan::test
