// trellan reg import FILE: applies a .reg text file. The whole file is read
// and checked first, so a malformed line changes nothing.
#include "registry_commands.h"

#include "options.h"

#include "console.h"
#include "reg_key_path.h"
#include "reg_text_file.h"
#include "reg_value_text.h"

#include <cstdio>
#include <vector>

namespace host {
namespace {

struct ImportStep {
    int line = 0;
    enum Kind { CreateKey, DeleteKey, SetValue } kind = CreateKey;
    RegistryPath path;
    RegValueLine value;
};

std::string LineError(int line, const std::string& message)
{
    return "line " + std::to_string(line) + ": " + message;
}

// Splits the text into logical lines: CR LF or LF ends a line, and a line
// ending in "\" goes on with the next one (leading blanks dropped).
std::vector<std::pair<int, std::u16string>> LogicalLines(const std::u16string& text)
{
    std::vector<std::pair<int, std::u16string>> lines;
    std::u16string current;
    int number = 0;
    int firstLine = 0;
    bool continuing = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        std::u16string line = text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        ++number;
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        if (continuing) {
            size_t first = line.find_first_not_of(u" \t");
            line = first == std::u16string::npos ? std::u16string() : line.substr(first);
        } else {
            firstLine = number;
            current.clear();
        }
        size_t last = line.find_last_not_of(u" \t");
        line = last == std::u16string::npos ? std::u16string() : line.substr(0, last + 1);
        continuing = !line.empty() && line.back() == u'\\' && line.find(u"=hex") != std::u16string::npos;
        continuing = continuing || (!line.empty() && line.back() == u'\\' && !current.empty());
        if (continuing)
            line.pop_back();
        current += line;
        if (!continuing)
            lines.emplace_back(firstLine, current);
        if (end == std::u16string::npos)
            break;
        start = end + 1;
    }
    if (continuing)
        lines.emplace_back(firstLine, current);
    return lines;
}

bool ReadSteps(const std::u16string& text, std::vector<ImportStep>* steps, std::string* error)
{
    bool sawHeader = false;
    bool inDeletedKey = false;
    bool inKey = false;
    for (const auto& [number, line] : LogicalLines(text)) {
        if (line.empty() || line[0] == u';')
            continue;
        if (!sawHeader) {
            if (line != u"Windows Registry Editor Version 5.00" && line != u"REGEDIT4") {
                *error = LineError(number, "not a registry file: expected \"Windows Registry Editor Version 5.00\"");
                return false;
            }
            sawHeader = true;
            continue;
        }
        ImportStep step;
        step.line = number;
        if (line[0] == u'[') {
            if (line.back() != u']') {
                *error = LineError(number, "a key line must end with ]");
                return false;
            }
            std::u16string key = line.substr(1, line.size() - 2);
            step.kind = ImportStep::CreateKey;
            if (!key.empty() && key[0] == u'-') {
                step.kind = ImportStep::DeleteKey;
                key.erase(0, 1);
            }
            if (!ParseRegistryPath(key, &step.path)) {
                *error = LineError(number, "unknown root key in [" + ToUtf8(key) + "]");
                return false;
            }
            if (step.kind == ImportStep::DeleteKey && step.path.subKey.empty()) {
                *error = LineError(number, "a root key cannot be deleted");
                return false;
            }
            inKey = step.kind == ImportStep::CreateKey;
            inDeletedKey = !inKey;
            steps->push_back(step);
            continue;
        }
        std::string problem;
        step.kind = ImportStep::SetValue;
        if (!ParseValueLine(line, &step.value, &problem)) {
            *error = LineError(number, problem);
            return false;
        }
        if (inDeletedKey) {
            *error = LineError(number, "a value under a key that is being deleted");
            return false;
        }
        if (!inKey) {
            *error = LineError(number, "a value before any [KEY] line");
            return false;
        }
        steps->push_back(step);
    }
    if (!sawHeader) {
        *error = "not a registry file: it is empty";
        return false;
    }
    return true;
}

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

}  // namespace

bool ImportRegistry(const std::u16string& text, std::string* error)
{
    std::vector<ImportStep> steps;
    if (!ReadSteps(text, &steps, error))
        return false;

    HKEY current = nullptr;
    std::u16string currentPath;
    bool ok = true;
    for (const ImportStep& step : steps) {
        LONG result = ERROR_SUCCESS;
        if (step.kind == ImportStep::CreateKey) {
            if (current)
                RegCloseKey(current);
            current = nullptr;
            currentPath = FullPath(step.path);
            result = RegCreateKeyExW(step.path.root->key, step.path.subKey.empty() ? nullptr : Wide(step.path.subKey),
                                     0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &current, nullptr);
            if (result != ERROR_SUCCESS)
                *error = LineError(step.line, "cannot create " + ToUtf8(currentPath) + ": " + RegistryErrorName(result));
        } else if (step.kind == ImportStep::DeleteKey) {
            result = DeleteTree(step.path.root->key, step.path.subKey);
            if (result == ERROR_FILE_NOT_FOUND)
                result = ERROR_SUCCESS;  // already gone
            if (result != ERROR_SUCCESS)
                *error = LineError(step.line, "cannot delete " + ToUtf8(FullPath(step.path)) + ": " +
                                                  RegistryErrorName(result));
        } else if (step.value.remove) {
            result = RegDeleteValueW(current, Wide(step.value.name));
            if (result == ERROR_FILE_NOT_FOUND)
                result = ERROR_SUCCESS;
            if (result != ERROR_SUCCESS)
                *error = LineError(step.line, "cannot delete a value of " + ToUtf8(currentPath) + ": " +
                                                  RegistryErrorName(result));
        } else {
            result = RegSetValueExW(current, Wide(step.value.name), 0, step.value.type, step.value.data.data(),
                                    static_cast<DWORD>(step.value.data.size()));
            if (result != ERROR_SUCCESS)
                *error = LineError(step.line, "cannot write a value of " + ToUtf8(currentPath) + ": " +
                                                  RegistryErrorName(result));
        }
        if (result != ERROR_SUCCESS) {
            ok = false;
            break;
        }
    }
    if (current)
        RegCloseKey(current);
    return ok;
}

const CommandSyntax regImportSyntax = {
    "reg import", "FILE", "Reads a .reg file into the registry. A malformed line refuses the whole file.", nullptr,
    0, 1, 1};

int RunRegImport(const ParsedArguments& args)
{
    std::u16string text;
    std::string error;
    if (!ReadTextFile(args.Operands()[0], &text, &error) || !ImportRegistry(text, &error)) {
        std::fprintf(stderr, "trellan reg import: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace host
