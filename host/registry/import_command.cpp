// trellan reg import FILE: applies a .reg text file ("-" reads standard
// input). The whole file is read and checked first, and it is applied in
// one registry transaction: a malformed line, or a change the registry
// refuses, changes nothing.
#include "registry/registry_transfer.h"
#include "cli/commands.h"

#include "cli/options.h"

#include "text/text_conversion.h"
#include "registry/registry_session.h"
#include "text/text_decoding.h"
#include "regfile/text_reader.h"

#include <cstdio>

namespace host {
namespace {

LONG DeleteTree(HKEY parent, const std::u16string& name)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(parent, Wide(name), 0, KEY_READ | KEY_WRITE, &key);
    if (result != ERROR_SUCCESS)
        return result;
    for (;;) {
        WCHAR child[256];
        DWORD units = 256;
        result = RegEnumKeyExW(key, 0, child, &units, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            break;
        result = DeleteTree(key, FromWide(child, units));
        if (result != ERROR_SUCCESS) {
            RegCloseKey(key);
            return result;
        }
    }
    RegCloseKey(key);
    if (result != ERROR_NO_MORE_ITEMS)
        return result;
    return RegDeleteKeyW(parent, Wide(name));
}

// Applies one entry; `current` is the key of the last [KEY] line.
LONG Apply(const RegEntry& entry, HKEY* current, std::string* what)
{
    const RegistryPath& path = entry.path;
    switch (entry.kind) {
    case RegEntry::CreateKey:
        if (*current)
            RegCloseKey(*current);
        *current = nullptr;
        *what = "cannot create " + ToUtf8(FullPath(path));
        return RegCreateKeyExW(path.root->key, path.subKey.empty() ? nullptr : Wide(path.subKey), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, current, nullptr);
    case RegEntry::DeleteKey: {
        *what = "cannot delete " + ToUtf8(FullPath(path));
        LONG result = DeleteTree(path.root->key, path.subKey);
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;  // already gone
    }
    case RegEntry::SetValue:
        break;
    }
    const RegValueLine& value = entry.value;
    if (value.remove) {
        *what = "cannot delete the value \"" + ToUtf8(value.name) + "\"";
        LONG result = RegDeleteValueW(*current, Wide(value.name));
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    }
    *what = "cannot write the value \"" + ToUtf8(value.name) + "\"";
    return RegSetValueExW(*current, Wide(value.name), 0, value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size()));
}

}  // namespace

bool ImportRegistry(const std::u16string& text, std::string* error)
{
    std::vector<RegEntry> entries;
    if (!ReadRegText(text, &entries, error))
        return false;

    HKEY current = nullptr;
    bool ok = true;
    for (const RegEntry& entry : entries) {
        std::string what;
        LONG result = Apply(entry, &current, &what);
        if (result != ERROR_SUCCESS) {
            *error = "line " + std::to_string(entry.line) + ": " + what + ": " + RegistryErrorName(result);
            ok = false;
            break;
        }
    }
    if (current)
        RegCloseKey(current);
    return ok;
}

const CommandSyntax regImportSyntax = {
    "reg import", "FILE",
    "Reads a .reg file into the registry ('-': standard input): UTF-16LE with a byte-order mark, UTF-8 with or\n"
    "without one, or REGEDIT4. A malformed line refuses the whole file, and nothing is half imported.",
    nullptr, 0, 1, 1};

int RunRegImport(const ParsedArguments& args)
{
    std::u16string text;
    std::string error;
    // No .reg file for this registry comes near the limit; one that passes
    // it, holds a NUL or does not begin as one is refused as it is read.
    const TextKind regFile = {"a .reg file", size_t(64) << 20, RegTextOpening};
    if (!ReadTextFile(args.Operands()[0], regFile, &text, &error)) {
        std::fprintf(stderr, "trellan reg import: %s\n", error.c_str());
        return exitFailure;
    }
    RegistryWrite transaction("trellan reg import");
    if (!transaction.Began())
        return exitFailure;
    if (!ImportRegistry(text, &error)) {
        std::fprintf(stderr, "trellan reg import: %s\n", error.c_str());
        return exitFailure;
    }
    return transaction.Commit() ? exitSuccess : exitFailure;
}

}  // namespace host
