#include "platform/platform_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace trellan::test {

std::vector<BYTE> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<BYTE>& bytes)
{
    // A new file each time: truncating one that has data makes some file
    // systems flush it to disk, which slows the many-case tests a hundredfold.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "typelib-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    directory = mkdtemp(buffer.data());
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string Text(BSTR text)
{
    return text ? Utf8(std::u16string(text, SysStringLen(text))) : "<null>";
}

namespace {

std::string ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::u16string text(reinterpret_cast<const char16_t*>(data.data()), size / 2);
        while (!text.empty() && text.back() == 0)
            text.pop_back();
        return Utf8(text);
    }
    std::string hex;
    for (DWORD i = 0; i < size; ++i)
        hex += "0123456789abcdef"[data[i] >> 4], hex += "0123456789abcdef"[data[i] & 15];
    return hex;
}

void Walk(HKEY key, const std::string& path, std::vector<std::string>& lines)
{
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD nameLength = 256;
        std::vector<BYTE> data(4096);
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        lines.push_back(path + "|" + Utf8(name) + "|" + std::to_string(type) + "|" + ValueText(type, data, size));
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::string child = path.empty() ? Utf8(name) : path + "\\" + Utf8(name);
        lines.push_back(child);
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Walk(sub, child, lines);
            RegCloseKey(sub);
        }
    }
}

}  // namespace

std::vector<std::string> RegistrySnapshot(HKEY root)
{
    std::vector<std::string> lines;
    Walk(root, "", lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string DefaultValue(const std::u16string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    std::vector<BYTE> data(4096);
    DWORD type = 0, size = static_cast<DWORD>(data.size());
    LONG result = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? ValueText(type, data, size) : "<missing>";
}

bool KeyExists(const std::u16string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void FreshRegistry::SetUp()
{
    setenv("TRELLAN_REGISTRY", ":memory:", 1);
    PlatformRegistry_Reset();
}

void FreshRegistry::TearDown()
{
    PlatformSeam_ClearRegistryFailures();
    PlatformRegistry_Reset();
}

}  // namespace trellan::test
