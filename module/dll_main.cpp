// The loader's side of the entry point. Windows calls DllMain; Linux has no
// loader-called entry point, so the module calls its own from a load-time
// constructor and an unload-time destructor, with its own instance handle.
#include "module_entry.h"

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return trellan::ModuleEntryPoint(instance, reason, reserved);
}

#else

namespace {

// An address inside this module, to find the module by.
const char moduleAnchor = 0;
HINSTANCE moduleInstance = nullptr;
bool attached = false;

// Without its own handle the module would take the host program's file for
// its own (and register that path). It then stays detached, as a DLL whose
// DllMain failed does not load, and its exports refuse every call.
__attribute__((constructor)) void AttachModule()
{
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&moduleAnchor), &moduleInstance))
        return;
    attached = trellan::ModuleEntryPoint(moduleInstance, DLL_PROCESS_ATTACH, nullptr) != FALSE;
}

__attribute__((destructor)) void DetachModule()
{
    if (attached)
        trellan::ModuleEntryPoint(moduleInstance, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace

#endif
