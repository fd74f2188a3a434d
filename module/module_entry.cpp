#include "module_entry.h"

#include "class_table.h"
#include "media_runtime.h"
#include "server_module.h"

namespace trellan {

BOOL WINAPI ModuleEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // The library-wide pointer first, then the record's own start, and
        // no thread attach or detach calls from then on.
        serverModule = &serverModuleRecord;
        serverModule->Init(classTable, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        serverModule->Term();
        // Unloaded while the process goes on: the media-format runtime that
        // the harvest loaded goes with the module. When the process ends
        // (reserved is set) the runtime may be gone already and is left
        // to the system.
        if (!reserved)
            ReleaseMediaRuntime();
    }
    return TRUE;
}

}  // namespace trellan
