#include "category_map.h"

namespace trellan {

HRESULT RegisterClassCategories(const CLSID* clsid, const CategoryMapEntry* table, bool registerFlag)
{
    // 1.
    if (!table)
        return S_OK;

    // 2. Without the manager the categories are silently left out.
    ICatRegister* manager = nullptr;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                reinterpret_cast<void**>(&manager))) ||
        !manager)
        return S_OK;

    // 3 and 4.
    for (const CategoryMapEntry* row = table; row->kind != 0; ++row) {
        CATID category = *row->categoryId;
        const bool implemented = row->kind == implementedCategory;
        HRESULT result;
        if (registerFlag)
            result = implemented ? manager->RegisterClassImplCategories(*clsid, 1, &category)
                                 : manager->RegisterClassReqCategories(*clsid, 1, &category);
        else
            result = implemented ? manager->UnRegisterClassImplCategories(*clsid, 1, &category)
                                 : manager->UnRegisterClassReqCategories(*clsid, 1, &category);
        if (registerFlag && FAILED(result)) {
            manager->Release();
            return result;
        }
    }

    // 5.
    manager->Release();
    return S_OK;
}

}  // namespace trellan
