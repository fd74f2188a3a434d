// Table-driven QueryInterface: every object of the library answers through a
// constant table of InterfaceMapEntry rows.
#pragma once

#include "winapi.h"

namespace trellan {

// One row: the interface `iid` sits `offset` bytes into the object. The
// table ends with a row whose iid is null.
struct InterfaceMapEntry {
    const IID* iid;
    DWORD offset;
};

// Where the `Interface` pointer of an `Object` sits within it. Only the
// distance between the two pointers matters, so any suitably aligned address
// stands in for an object.
template <typename Interface, typename Object>
DWORD InterfaceOffset()
{
    auto* object = reinterpret_cast<Object*>(static_cast<DWORD_PTR>(alignof(Object)) * 256);
    return static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(static_cast<Interface*>(object)) -
                              reinterpret_cast<DWORD_PTR>(object));
}

// Finds `iid` in `table` for the object that starts at `object`. The first
// row's interface pointer is the object's IUnknown.
HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid, void** out);

}  // namespace trellan
