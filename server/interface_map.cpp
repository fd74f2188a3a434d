// QueryInterfaceFromTable: each row hands out an interface pointer of the
// object.
#include "interface_map.h"

namespace trellan {

HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;

    // IUnknown is the first row's pointer; any other id is looked up.
    const InterfaceMapEntry* found = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
        found = &table[0];
    } else {
        for (const InterfaceMapEntry* row = table; row->iid; ++row) {
            if (IsEqualGUID(*row->iid, iid)) {
                found = row;
                break;
            }
        }
        if (!found)
            return E_NOINTERFACE;
    }

    auto* pointer = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + found->offset);
    pointer->AddRef();
    *out = pointer;
    return S_OK;
}

}  // namespace trellan
