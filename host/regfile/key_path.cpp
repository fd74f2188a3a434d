// The registry's five roots, in the order an export walks them, by their
// long and short names. A path's root is matched without regard to ASCII
// case, and its subkey is kept as written, less trailing backslashes. A
// registry error the table does not name is given by its number alone.
#include "regfile/key_path.h"

namespace host {
namespace {

const RegistryRoot rootTable[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", u"HKU", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG},
};

struct ErrorRow {
    LONG code;
    const char* name;
};

const ErrorRow errorTable[] = {
    {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND"},
    {ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND"},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED"},
    {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
    {ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
    {ERROR_OUTOFMEMORY, "ERROR_OUTOFMEMORY"},
    {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER"},
    {ERROR_BAD_PATHNAME, "ERROR_BAD_PATHNAME"},
    {ERROR_BAD_FILE_TYPE, "ERROR_BAD_FILE_TYPE"},
    {ERROR_BUSY, "ERROR_BUSY"},
    {ERROR_MORE_DATA, "ERROR_MORE_DATA"},
    {ERROR_NO_MORE_ITEMS, "ERROR_NO_MORE_ITEMS"},
    {ERROR_CANTOPEN, "ERROR_CANTOPEN"},
    {ERROR_CANTREAD, "ERROR_CANTREAD"},
    {ERROR_CANTWRITE, "ERROR_CANTWRITE"},
    {ERROR_REGISTRY_CORRUPT, "ERROR_REGISTRY_CORRUPT"},
    {ERROR_KEY_DELETED, "ERROR_KEY_DELETED"},
};

bool SameLetters(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? char16_t(a[i] - 32) : a[i];
        char16_t y = b[i] >= u'a' && b[i] <= u'z' ? char16_t(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

const RegistryRoot* ExportedRoots(size_t* count)
{
    *count = sizeof rootTable / sizeof rootTable[0];
    return rootTable;
}

bool ParseRegistryPath(std::u16string_view text, RegistryPath* path)
{
    size_t slash = text.find(u'\\');
    std::u16string_view rootName = text.substr(0, slash);
    for (const RegistryRoot& root : rootTable) {
        if (SameLetters(rootName, root.name) || SameLetters(rootName, root.shortName)) {
            path->root = &root;
            path->subKey = slash == std::u16string_view::npos ? std::u16string() : std::u16string(text.substr(slash + 1));
            while (!path->subKey.empty() && path->subKey.back() == u'\\')
                path->subKey.pop_back();
            return true;
        }
    }
    return false;
}

std::u16string FullPath(const RegistryPath& path)
{
    std::u16string text = path.root->name;
    if (!path.subKey.empty())
        text += u"\\" + path.subKey;
    return text;
}

std::string RegistryErrorName(LONG error)
{
    for (const ErrorRow& row : errorTable) {
        if (row.code == error)
            return std::string(row.name) + " (" + std::to_string(error) + ")";
    }
    return "error " + std::to_string(error);
}

}  // namespace host
