#include "support/script_fixture.h"

#include <cstdio>
#include <vector>

namespace trellan::test {

namespace {

std::string Hex(const BYTE* data, DWORD size)
{
    std::string text;
    char pair[3];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        text += pair;
    }
    return text;
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data)
{
    switch (type) {
    case REG_SZ: {
        std::u16string text;
        for (size_t i = 0; i + 1 < data.size(); i += 2)
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        if (!text.empty() && text.back() == 0)
            text.pop_back();
        return "sz:" + Utf8(text);
    }
    case REG_DWORD:
        if (data.size() == 4)
            return "dword:" + std::to_string(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
        break;
    case REG_BINARY:
        return "binary:" + Hex(data.data(), static_cast<DWORD>(data.size()));
    }
    return "type " + std::to_string(type) + ":" + Hex(data.data(), static_cast<DWORD>(data.size()));
}

void Walk(HKEY key, const std::string& path, RegistryMap* map)
{
    for (DWORD index = 0;; ++index) {
        std::vector<WCHAR> name(16384);
        DWORD units = static_cast<DWORD>(name.size());
        std::vector<BYTE> data(65536);
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &units, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
            break;
        data.resize(bytes);
        std::string valueName = units == 0 ? "@" : Utf8(std::u16string(name.data(), units));
        (*map)[path + ":" + valueName] = ValueText(type, data);
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD units = 256;
        if (RegEnumKeyExW(key, index, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::string childPath = path + "\\" + Utf8(std::u16string(name, units));
        (*map)[childPath] = "key";
        Key child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, child.Receive()) == ERROR_SUCCESS)
            Walk(child.Get(), childPath, map);
    }
}

}  // namespace

RegistryMap Snapshot(HKEY root, const std::string& prefix)
{
    RegistryMap map;
    Walk(root, prefix, &map);
    return map;
}

HRESULT RunScript(const std::string& text, bool registerMode)
{
    std::u16string script = Utf16(text);
    ScriptParser parser;
    return parser.RunRootBlocks(script.c_str(), registerMode);
}

std::string StatusText(HRESULT status)
{
    switch (status) {
    case S_OK:
        return "S_OK";
    case E_FAIL:
        return "E_FAIL";
    case DISP_E_EXCEPTION:
        return "DISP_E_EXCEPTION";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace trellan::test
