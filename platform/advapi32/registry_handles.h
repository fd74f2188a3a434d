// The process's open key handles: each names a key by its id, so a handle
// outlives a reopened database and notices when its key was deleted.
#pragma once

#include "advapi32/registry_database.h"

namespace platform::registry {

struct OpenKey {
    KeyId id = 0;
    REGSAM access = 0;
};

// Call these with the registry lock held.
HKEY AddHandle(const OpenKey& key);
// Predefined roots resolve to their key with full access. False for a
// handle that is not open.
bool FindHandle(HKEY handle, OpenKey* key);
bool RemoveHandle(HKEY handle);
void ClearHandles();
long HandleCount();

// Rights that change a key or what it holds.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

}  // namespace platform::registry
