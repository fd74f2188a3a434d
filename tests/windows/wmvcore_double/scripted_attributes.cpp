#include "scripted_attributes.h"

#include <cstdlib>
#include <sstream>

namespace wmvcore_double {
namespace {

std::basic_string<WCHAR> Widen(const std::string& text)
{
    if (text.empty())
        return {};
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::basic_string<WCHAR> wide(static_cast<size_t>(units), 0);
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

bool SameNameIgnoringCase(const std::basic_string<WCHAR>& a, const std::basic_string<WCHAR>& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::basic_string<WCHAR> BaseName(const WCHAR* path)
{
    const WCHAR* base = path;
    for (const WCHAR* p = path; *p; ++p)
        if (*p == u'\\' || *p == u'/' || *p == u':')
            base = p + 1;
    return base;
}

// Splits off the text up to the next '|'; the rest stays in `line`.
std::string TakeField(std::string& line)
{
    size_t bar = line.find('|');
    std::string field = line.substr(0, bar);
    line = bar == std::string::npos ? std::string() : line.substr(bar + 1);
    return field;
}

// The whole script file as bytes. The path comes from the process's
// environment block, not the C runtime's copy, so that a test program can
// point the double at a new script with SetEnvironmentVariableW.
HRESULT ReadScript(std::string& text)
{
    WCHAR scriptPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(OLESTR("TRELLAN_WMVCORE_SCRIPT"), scriptPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_ENVVAR_NOT_FOUND);
    HANDLE file = CreateFileW(scriptPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    HRESULT result = S_OK;
    char block[4096];
    DWORD read = 0;
    while (true) {
        if (!ReadFile(file, block, sizeof block, &read, nullptr)) {
            result = HRESULT_FROM_WIN32(GetLastError());
            break;
        }
        if (read == 0)
            break;
        text.append(block, read);
    }
    CloseHandle(file);
    return result;
}

}  // namespace

HRESULT LoadScriptedAttributes(const WCHAR* path, std::vector<ScriptedAttribute>& attributes)
{
    attributes.clear();
    std::string text;
    HRESULT read = ReadScript(text);
    if (FAILED(read))
        return read;
    std::istringstream script(text);

    const std::basic_string<WCHAR> fileName = BaseName(path);
    bool named = false;
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!SameNameIgnoringCase(Widen(TakeField(line)), fileName))
            continue;
        named = true;
        if (line.empty())
            continue;  // the file alone: no attributes

        ScriptedAttribute attribute;
        attribute.stream = static_cast<WORD>(std::strtoul(TakeField(line).c_str(), nullptr, 10));
        attribute.name = Widen(TakeField(line));
        std::string kind = TakeField(line);
        if (kind == "string") {
            attribute.kind = AttributeKind::String;
            attribute.text = Widen(line);
        } else if (kind == "dword") {
            attribute.kind = AttributeKind::Dword;
            attribute.number = static_cast<DWORD>(std::strtoul(line.c_str(), nullptr, 10));
        } else if (kind == "fail") {
            attribute.kind = AttributeKind::Fail;
        } else {
            return E_INVALIDARG;  // a script fault: make it visible
        }
        attributes.push_back(std::move(attribute));
    }
    return named ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

}  // namespace wmvcore_double
