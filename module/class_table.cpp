// The library's class table: one row, for WMFilter, joining the server's
// object creation and registration's registry update.
#include "class_table.h"

#include "cached_class_factory.h"
#include "filter_objects.h"
#include "trellan_ids.h"
#include "update_registry.h"

namespace trellan {
namespace {

// Null: the row always takes part in whole-library registration.
LPCWSTR WINAPI FilterDescription()
{
    return nullptr;
}

// The class has nothing to set up or tear down with the library.
void WINAPI FilterObjectMain(bool)
{
}

}  // namespace

ObjectMapEntry classTable[] = {
    {&CLSID_WMFilter, UpdateRegistry, CreateCachedClassFactory, CreateFilterInstance, nullptr, FilterDescription,
     FilterObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace trellan
