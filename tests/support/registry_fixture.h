// A fresh private in-memory registry for each test, and small helpers over
// the registry API.
#pragma once

#include "support/text.h"
#include "winapi.h"

#include <win32/registry_control.h>
#include <win32/seams.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace trellan::test {

class MemoryRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TRELLAN_REGISTRY", ":memory:", 1);
        PlatformSeam_ClearRegistryFailures();
        PlatformRegistry_Reset();
    }
    void TearDown() override
    {
        PlatformSeam_ClearRegistryFailures();
        EXPECT_EQ(PlatformRegistry_OpenHandleCount(), 0) << "a key handle was left open";
        PlatformRegistry_Reset();
    }
};

// Owns one open key.
class Key {
public:
    Key() = default;
    ~Key() { Close(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    LONG Close()
    {
        LONG result = handle ? RegCloseKey(handle) : ERROR_SUCCESS;
        handle = nullptr;
        return result;
    }
    HKEY* Receive()
    {
        Close();
        return &handle;
    }
    HKEY Get() const { return handle; }

private:
    HKEY handle = nullptr;
};

// A string's bytes as the registry stores them: UTF-16LE with its NUL.
inline std::vector<BYTE> RegistryStringBytes(const std::u16string& text)
{
    std::vector<BYTE> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline LONG CreateKey(HKEY root, const std::string& path, DWORD* disposition = nullptr)
{
    Key key;
    std::u16string name = Utf16(path);
    return RegCreateKeyExW(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.Receive(), disposition);
}

inline bool KeyExists(HKEY root, const std::string& path)
{
    Key key;
    std::u16string name = Utf16(path);
    return RegOpenKeyExW(root, name.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

inline LONG SetString(HKEY root, const std::string& path, const std::string& valueName, const std::string& text)
{
    Key key;
    std::u16string name = Utf16(path);
    LONG result = RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    std::u16string value = Utf16(valueName);
    std::u16string data = Utf16(text);
    return RegSetValueExW(key.Get(), value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * 2));
}

}  // namespace trellan::test
