// The interface tables of the filter object and of its class factory.
#include "interface_tables.h"

#include "cached_class_factory.h"
#include "trellan_ids.h"
#include "wm_filter.h"

namespace trellan {

const InterfaceMapEntry FilterInterfaceTable[] = {
    {&IID_IWMFilter, InterfaceOffset<IWMFilter, WMFilter>()},
    {&IID_IFilter, InterfaceOffset<IFilter, WMFilter>()},
    {&IID_IPersistFile, InterfaceOffset<IPersistFile, WMFilter>()},
    {&IID_IPersistStream, InterfaceOffset<IPersistStream, WMFilter>()},
    {&IID_IInitializeWithStream, InterfaceOffset<IInitializeWithStream, WMFilter>()},
    {nullptr, 0},
};

const InterfaceMapEntry FactoryInterfaceTable[] = {
    {&IID_IClassFactory, InterfaceOffset<IClassFactory, CachedClassFactory>()},
    {nullptr, 0},
};

}  // namespace trellan
