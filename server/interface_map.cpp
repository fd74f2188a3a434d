// QueryInterfaceFromTable: offset entries hand out an interface pointer of
// the object; function entries decide for themselves.
#include "interface_map.h"

namespace trellan {

HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;

    const InterfaceMapEntry* found = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
        found = &table[0];
    } else {
        for (const InterfaceMapEntry* row = table; row->resolver != endOfInterfaceTable; ++row) {
            if (row->iid && !IsEqualGUID(*row->iid, iid))
                continue;
            if (row->resolver == offsetEntry) {
                found = row;
                break;
            }
            auto resolve = reinterpret_cast<InterfaceResolver>(row->resolver);
            HRESULT result = resolve(object, iid, out, row->offset);
            if (result == S_OK)
                return S_OK;
            // A refusal leaves nothing behind in *out.
            *out = nullptr;
            if (row->iid && FAILED(result))
                return result;
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
