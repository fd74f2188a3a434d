// The constant interface tables of the library's two kinds of object.
#pragma once

#include "interface_map.h"

namespace trellan {

// IWMFilter (the identity), IFilter, IPersistFile, then the stream
// binding's IPersistStream and IInitializeWithStream; no IPersist. Offsets
// are taken from the start of the filter object (WMFilter).
extern const InterfaceMapEntry FilterInterfaceTable[];

// IClassFactory.
extern const InterfaceMapEntry FactoryInterfaceTable[];

}  // namespace trellan
