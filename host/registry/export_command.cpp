// trellan reg export [KEY] [FILE]: the registry, or one subtree, in the
// .reg text format: to a file in UTF-16LE with a byte-order mark and CR LF,
// as the platform's editor writes it; to standard output in UTF-8.
#include "registry/registry_transfer.h"
#include "cli/commands.h"

#include "text/text_conversion.h"
#include "cli/options.h"
#include "regfile/key_path.h"
#include "registry/registry_session.h"
#include "system/whole_file.h"
#include "regfile/value_line.h"

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

LONG ExportValues(HKEY key, std::u16string* text)
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
        *text += FormatValueLine(FromWide(name.data(), nameUnits), type, bytes) + u"\n";
    }
    return ERROR_SUCCESS;
}

LONG ExportKey(HKEY key, const std::u16string& path, bool skipIfEmpty, std::u16string* text, std::string* error)
{
    std::u16string values;
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
    *text += u"[" + path + u"]\n" + values + u"\n";

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

LONG ExportRegistry(const std::u16string& key, std::u16string* text, std::string* error)
{
    *text = u"Windows Registry Editor Version 5.00\n\n";
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

std::string RegFileBytes(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    auto put = [&bytes](char16_t unit) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    };
    for (char16_t unit : text) {
        if (unit == u'\n')
            put(u'\r');
        put(unit);
    }
    return bytes;
}

const CommandSyntax regExportSyntax = {
    "reg export", "[KEY] [FILE]",
    "Prints the registry, or the subtree at KEY (HKCR\\CLSID, ...; empty: the whole registry), in the .reg\n"
    "text format. To FILE, the text is written as the platform's editor writes it: UTF-16LE with a byte-order\n"
    "mark and CR LF; to standard output (or FILE '-'), as UTF-8.",
    nullptr, 0, 0, 2};

int RunRegExport(const ParsedArguments& args)
{
    if (!RegistryReady("trellan reg export", false))
        return exitFailure;
    const Arguments& operands = args.Operands();
    std::u16string text;
    std::string error;
    if (ExportRegistry(operands.empty() ? std::u16string() : operands[0], &text, &error) != ERROR_SUCCESS) {
        std::fprintf(stderr, "trellan reg export: %s\n", error.c_str());
        return exitFailure;
    }
    if (operands.size() == 2 && operands[1] != u"-") {
        if (!WriteWholeFile(operands[1], RegFileBytes(text), &error)) {
            std::fprintf(stderr, "trellan reg export: %s\n", error.c_str());
            return exitFailure;
        }
        return exitSuccess;
    }
    const std::string utf8 = ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    return std::fflush(stdout) == 0 ? exitSuccess : exitFailure;
}

}  // namespace host
