// The WMFilter row's registry update: runs the registry script resource 101
// of the library with the given flag and no extra replacements.
#include "script_resource.h"
#include "server_module.h"
#include "update_registry.h"

namespace trellan {

const WORD filterScriptResource = 101;

HRESULT WINAPI UpdateRegistry(BOOL registerServer)
{
    return RunScriptResource(serverModule->instance, filterScriptResource, registerServer, nullptr);
}

}  // namespace trellan
