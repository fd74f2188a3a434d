// PLACEHOLDER, replaced by the registration work: until the registry-script
// runner exists, the WMFilter row's UpdateRegistry reports that it has
// nothing to do it with.
#include "update_registry.h"

namespace trellan {

HRESULT WINAPI UpdateRegistry(BOOL)
{
    return E_NOTIMPL;
}

}  // namespace trellan
