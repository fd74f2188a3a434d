// The WMFilter row's registry update: runs the registry script resource 101
// of the library with the given flag and no extra replacements, its classes
// in the machine's classes (machine_classes.h), and keeps
// the media extensions' persistent handlers as they were found
// (persistent_handlers.h).
#include "machine_classes.h"
#include "persistent_handlers.h"
#include "script_resource.h"
#include "server_module.h"
#include "update_registry.h"

namespace trellan {

const WORD filterScriptResource = 101;

HRESULT WINAPI UpdateRegistry(BOOL registerServer)
{
    PersistentHandlers handlers;
    KeyHolder classes;
    OpenMachineClasses(classes);
    HRESULT result = RunScriptResource(serverModule->instance, filterScriptResource, registerServer, nullptr,
                                       classes.Get());
    if (registerServer)
        handlers.AfterRegistration(result);
    else
        handlers.AfterUnregistration();
    return result;
}

}  // namespace trellan
