#include "registration_driver.h"

#include "type_library.h"

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

HRESULT RegisterServer(const ObjectMapEntry* classTable, HINSTANCE typeLibInstance, bool registerTypeLibrary,
                       const CLSID* classFilter)
{
    HRESULT result = S_OK;
    for (const ObjectMapEntry* row = classTable; row->clsid; ++row) {
        if (!RowIsChosen(*row, classFilter))
            continue;
        result = row->updateRegistry(TRUE);
        if (FAILED(result))
            return result;
    }
    if (registerTypeLibrary)
        result = RegisterTypeLibrary(typeLibInstance, nullptr);
    return result;
}

HRESULT UnregisterServer(const ObjectMapEntry* classTable, HINSTANCE typeLibInstance, bool unregisterTypeLibrary,
                         const CLSID* classFilter)
{
    for (const ObjectMapEntry* row = classTable; row->clsid; ++row) {
        if (!RowIsChosen(*row, classFilter))
            continue;
        row->updateRegistry(FALSE);
    }
    if (unregisterTypeLibrary)
        UnregisterTypeLibrary(typeLibInstance, nullptr);
    return S_OK;
}

}  // namespace trellan
