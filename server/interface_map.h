// Table-driven QueryInterface: every object of the library answers through a
// constant table of InterfaceMapEntry rows.
#pragma once

#include "winapi.h"

namespace trellan {

// A resolver for a function entry: (object start, interface id, out,
// the row's offset field). It fills *out itself.
using InterfaceResolver = HRESULT(WINAPI*)(void* object, REFIID iid, void** out, DWORD argument);

// Values of InterfaceMapEntry::resolver with a meaning of their own; any
// other value is an InterfaceResolver.
constexpr DWORD_PTR endOfInterfaceTable = 0;
constexpr DWORD_PTR offsetEntry = 1;

struct InterfaceMapEntry {
    const IID* iid;     // null matches every id (function entries only)
    DWORD offset;       // offset entry: where the interface pointer sits; function entry: its argument
    DWORD_PTR resolver;
};

inline DWORD_PTR FunctionEntry(InterfaceResolver resolver)
{
    return reinterpret_cast<DWORD_PTR>(resolver);
}

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
