// The registration driver behind DllRegisterServer and DllUnregisterServer:
// each chosen row of the class table runs its registry script and
// registers its component categories; then the type library follows.
#include "category_map.h"
#include "server_module.h"

#include <cstring>

namespace trellan {
namespace {

// A row is chosen by the class filter, or, without one, when it has no
// description.
bool RowIsChosen(const ObjectMapEntry& row, const CLSID* classFilter)
{
    if (classFilter)
        return std::memcmp(row.clsid, classFilter, sizeof(CLSID)) == 0;
    return !(row.getDescription && row.getDescription() != nullptr);
}

}  // namespace

HRESULT ServerModule::RegisterServer(bool registerTypeLibrary, const CLSID* classFilter)
{
    HRESULT result = S_OK;
    for (ObjectMapEntry* row = objectMap; row->clsid; row = NextRow(row)) {
        if (!RowIsChosen(*row, classFilter))
            continue;
        result = row->updateRegistry(TRUE);
        if (FAILED(result))
            return result;
        if (size == fullModuleSize && row->getCategoryMap) {
            result = RegisterClassCategories(row->clsid, row->getCategoryMap(), true);
            if (FAILED(result))
                return result;
        }
    }
    if (registerTypeLibrary)
        result = RegisterTypeLibrary(nullptr);
    return result;
}

HRESULT ServerModule::UnregisterServer(bool unregisterTypeLibrary, const CLSID* classFilter)
{
    for (ObjectMapEntry* row = objectMap; row->clsid; row = NextRow(row)) {
        if (!RowIsChosen(*row, classFilter))
            continue;
        row->updateRegistry(FALSE);
        if (size == fullModuleSize && row->getCategoryMap)
            RegisterClassCategories(row->clsid, row->getCategoryMap(), false);
    }
    if (unregisterTypeLibrary)
        UnregisterTypeLibrary(nullptr);
    return S_OK;
}

}  // namespace trellan
