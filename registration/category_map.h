// A class's component-category table, and its registration through the
// platform's component-categories manager.
#pragma once

#include "winapi.h"

// One row; the table ends with a row whose kind is 0.
struct CategoryMapEntry {
    LONG kind;  // 1: the class implements the category; any other non-zero value: requires it
    const GUID* categoryId;
};

namespace trellan {

constexpr LONG implementedCategory = 1;

// Registers (or removes) the class's categories. A null table, and a
// manager that cannot be created, answer S_OK. Registering stops at the
// first failure; removing visits every row and ignores the results.
HRESULT RegisterClassCategories(const CLSID* clsid, const CategoryMapEntry* table, bool registerFlag);

}  // namespace trellan
