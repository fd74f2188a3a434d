#include "interface_tables.h"

#include "cached_class_factory.h"
#include "trellan_ids.h"
#include "wm_filter.h"

namespace trellan {

const InterfaceMapEntry FilterInterfaceTable[] = {
    {&IID_IWMFilter, InterfaceOffset<IWMFilter, WMFilter>(), offsetEntry},
    {&IID_IFilter, InterfaceOffset<IFilter, WMFilter>(), offsetEntry},
    {&IID_IPersistFile, InterfaceOffset<IPersistFile, WMFilter>(), offsetEntry},
    {nullptr, 0, endOfInterfaceTable},
};

const InterfaceMapEntry FactoryInterfaceTable[] = {
    {&IID_IClassFactory, InterfaceOffset<IClassFactory, CachedClassFactory>(), offsetEntry},
    {nullptr, 0, endOfInterfaceTable},
};

}  // namespace trellan
