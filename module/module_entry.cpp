#include "module_entry.h"

#include "class_table.h"
#include "server_module.h"

namespace trellan {

BOOL WINAPI ModuleEntryPoint(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // The library-wide pointer first, then the record's own start, and
        // no thread attach or detach calls from then on.
        serverModule = &serverModuleRecord;
        serverModule->Init(classTable, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // The media-format runtime that the harvest loaded stays: a library
        // may not be freed from here.
        serverModule->Term();
    }
    return TRUE;
}

}  // namespace trellan
