// Handles are small numbers below the predefined roots (0x80000000 and
// up), handed out in turn and never two alike.
#include "advapi32/registry_handles.h"

#include "advapi32/registry_schema.h"

#include <unordered_map>

namespace platform::registry {

namespace {

std::unordered_map<ULONG_PTR, OpenKey> handleTable;
ULONG_PTR nextHandle = 0x1000;

}  // namespace

HKEY AddHandle(const OpenKey& key)
{
    while (handleTable.count(nextHandle) != 0 || nextHandle >= 0x80000000)
        nextHandle = nextHandle >= 0x80000000 ? 0x1000 : nextHandle + 4;
    ULONG_PTR handle = nextHandle;
    nextHandle += 4;
    handleTable[handle] = key;
    return reinterpret_cast<HKEY>(handle);
}

bool FindHandle(HKEY handle, OpenKey* key)
{
    if (int64_t root = RootIdOf(handle)) {
        key->id = root;
        key->access = KEY_ALL_ACCESS;
        return true;
    }
    auto found = handleTable.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == handleTable.end())
        return false;
    *key = found->second;
    return true;
}

bool RemoveHandle(HKEY handle)
{
    return handleTable.erase(reinterpret_cast<ULONG_PTR>(handle)) != 0;
}

void ClearHandles()
{
    handleTable.clear();
}

long HandleCount()
{
    return static_cast<long>(handleTable.size());
}

}  // namespace platform::registry
