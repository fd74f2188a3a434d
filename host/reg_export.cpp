// trellan reg export [KEY]: the registry, or one subtree, in the .reg text
// format.
#include "registry_commands.h"

#include "options.h"

#include "console.h"
#include "reg_key_path.h"
#include "reg_value_text.h"

#include <cstdio>
#include <vector>

namespace host {
namespace {

class OpenedKey {
public:
    OpenedKey() = default;
    ~OpenedKey()
    {
        if (key)
            RegCloseKey(key);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    HKEY* Receive() { return &key; }
    HKEY Get() const { return key; }
    // Holds `other` instead, closing the key held before.
    void Adopt(HKEY other)
    {
        if (key)
            RegCloseKey(key);
        key = other;
    }

private:
    HKEY key = nullptr;
};

LONG ExportValues(HKEY key, std::string* text)
{
    DWORD values = 0, longestName = 0, largestData = 0;
    LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName,
                                   &largestData, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    std::vector<WCHAR> name(longestName + 1);
    std::vector<BYTE> data(largestData);
    for (DWORD index = 0; index < values; ++index) {
        DWORD nameUnits = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        result = RegEnumValueW(key, index, name.data(), &nameUnits, nullptr, &type, data.data(), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return result;
        std::vector<BYTE> bytes(data.begin(), data.begin() + dataBytes);
        *text += FormatValueLine(FromWide(name.data(), nameUnits), type, bytes) + "\n";
    }
    return ERROR_SUCCESS;
}

LONG ExportKey(HKEY key, const std::u16string& path, bool skipIfEmpty, std::string* text, std::string* error)
{
    std::string values;
    LONG result = ExportValues(key, &values);
    if (result != ERROR_SUCCESS) {
        *error = "cannot read the values of " + ToUtf8(path) + ": " + RegistryErrorName(result);
        return result;
    }
    DWORD subkeys = 0;
    result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        *error = "cannot read " + ToUtf8(path) + ": " + RegistryErrorName(result);
        return result;
    }
    if (skipIfEmpty && values.empty() && subkeys == 0)
        return ERROR_SUCCESS;
    *text += "[" + ToUtf8(path) + "]\n" + values + "\n";

    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD units = 256;
        result = RegEnumKeyExW(key, index, name, &units, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS) {
            *error = "cannot list the subkeys of " + ToUtf8(path) + ": " + RegistryErrorName(result);
            return result;
        }
        OpenedKey child;
        result = RegOpenKeyExW(key, name, 0, KEY_READ, child.Receive());
        std::u16string childPath = path + u"\\" + FromWide(name, units);
        if (result != ERROR_SUCCESS) {
            *error = "cannot open " + ToUtf8(childPath) + ": " + RegistryErrorName(result);
            return result;
        }
        result = ExportKey(child.Get(), childPath, false, text, error);
        if (result != ERROR_SUCCESS)
            return result;
    }
}

// The subkey path as the registry spells it: each part is looked up among
// its siblings without regard to letter case.
std::u16string StoredSpelling(HKEY root, const std::u16string& subKey)
{
    std::u16string spelled;
    HKEY parent = root;
    OpenedKey held;
    size_t start = 0;
    while (start < subKey.size()) {
        size_t slash = subKey.find(u'\\', start);
        std::u16string part = subKey.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
        std::u16string found = part;
        for (DWORD index = 0;; ++index) {
            WCHAR name[256];
            DWORD units = 256;
            if (RegEnumKeyExW(parent, index, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (lstrcmpiW(name, Wide(part)) == 0) {
                found = FromWide(name, units);
                break;
            }
        }
        spelled += (spelled.empty() ? u"" : u"\\") + found;
        HKEY next = nullptr;
        if (RegOpenKeyExW(parent, Wide(part), 0, KEY_READ, &next) != ERROR_SUCCESS)
            return subKey;
        held.Adopt(next);
        parent = held.Get();
        if (slash == std::u16string::npos)
            break;
        start = slash + 1;
    }
    return spelled;
}

}  // namespace

LONG ExportRegistry(const std::u16string& key, std::string* text, std::string* error)
{
    *text = "Windows Registry Editor Version 5.00\n\n";
    if (key.empty()) {
        size_t count = 0;
        const RegistryRoot* roots = ExportedRoots(&count);
        for (size_t i = 0; i < count; ++i) {
            LONG result = ExportKey(roots[i].key, roots[i].name, true, text, error);
            if (result != ERROR_SUCCESS)
                return result;
        }
        return ERROR_SUCCESS;
    }
    RegistryPath path;
    if (!ParseRegistryPath(key, &path)) {
        *error = "unknown root key in " + ToUtf8(key) + " (use HKEY_CLASSES_ROOT, HKCR, HKEY_CURRENT_USER, ...)";
        return ERROR_INVALID_PARAMETER;
    }
    OpenedKey opened;
    LONG result = RegOpenKeyExW(path.root->key, path.subKey.empty() ? nullptr : Wide(path.subKey), 0, KEY_READ,
                                opened.Receive());
    if (result != ERROR_SUCCESS) {
        *error = "cannot open " + ToUtf8(FullPath(path)) + ": " + RegistryErrorName(result);
        return result;
    }
    path.subKey = StoredSpelling(path.root->key, path.subKey);
    return ExportKey(opened.Get(), FullPath(path), false, text, error);
}

const CommandSyntax regExportSyntax = {
    "reg export", "[KEY]", "Prints the registry, or the subtree at KEY (HKCR\\CLSID, ...), in the .reg text format.",
    nullptr, 0, 0, 1};

int RunRegExport(const ParsedArguments& args)
{
    std::string text;
    std::string error;
    if (ExportRegistry(args.Operands().empty() ? std::u16string() : args.Operands()[0], &text, &error) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "trellan reg export: %s\n", error.c_str());
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace host
