// The library's class table: one row, for WMFilter.
#include "cached_class_factory.h"
#include "filter_objects.h"
#include "server_module.h"
#include "trellan_ids.h"
#include "update_registry.h"

namespace trellan {
namespace {

// Null: the row always takes part in whole-library registration.
LPCWSTR WINAPI FilterDescription()
{
    return nullptr;
}

// Null: the class registers no component categories.
const CategoryMapEntry* WINAPI FilterCategoryMap()
{
    return nullptr;
}

// The class has nothing to set up or tear down with the library.
void WINAPI FilterObjectMain(bool)
{
}

}  // namespace

ObjectMapEntry classTable[] = {
    {&CLSID_WMFilter, UpdateRegistry, CreateCachedClassFactory, CreateFilterInstance, nullptr, 0,
     FilterDescription, FilterCategoryMap, FilterObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

}  // namespace trellan
