#include "key_holder.h"

namespace trellan {

LONG KeyHolder::Open(HKEY parent, LPCWSTR name, REGSAM access)
{
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(parent, name, 0, access, &opened);
    if (result != ERROR_SUCCESS)
        return result;
    LONG closed = Close();
    key = opened;
    owned = true;
    return closed;
}

LONG KeyHolder::Close()
{
    HKEY held = key;
    bool closeIt = owned;
    key = nullptr;
    owned = false;
    if (!held || !closeIt)
        return ERROR_SUCCESS;
    return RegCloseKey(held);
}

void KeyHolder::Attach(HKEY newKey)
{
    key = newKey;
    owned = true;
}

void KeyHolder::Borrow(HKEY parentKey)
{
    key = parentKey;
    owned = false;
}

}  // namespace trellan
