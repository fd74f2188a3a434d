#include "module_entry.h"

#include "server_module.h"

namespace trellan {

BOOL WINAPI ModuleEntryPoint(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        serverModule = &serverModuleRecord;
        serverModule->versionId = &serverModuleVersionId;
        serverModule->size = fullModuleSize;
        serverModule->buildVersion = moduleBuildVersion;

        serverModule->Init(classTable, instance);

        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        serverModule->Term();
    }
    return TRUE;
}

}  // namespace trellan
