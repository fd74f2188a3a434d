// The lookup walks HKCR through each key's default value: the extension's
// PersistentHandler, the handler's IFilter add-in, then the class's
// InprocServer32. The finder keeps one answer for each lower-case extension
// and looks it up under its lock, so that the registry is read once for
// each extension, however many threads meet it.
#include "filtering/filter_lookup.h"

#include "text/text_conversion.h"
#include "trellan_ids.h"

#include <vector>

namespace host {
namespace {

// The default value of HKCR\<key>, as text; false when the key or its
// default value is missing or not a string.
bool ReadClassesRootDefault(const std::u16string& key, std::u16string& text)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, reinterpret_cast<LPCWSTR>(key.c_str()), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD bytes = 0;
    LONG status = RegQueryValueExW(handle, nullptr, nullptr, &type, nullptr, &bytes);
    bool found = false;
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1, 0);
        DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(WCHAR));
        if (RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS) {
            text.assign(reinterpret_cast<const char16_t*>(buffer.data()));
            found = true;
        }
    }
    RegCloseKey(handle);
    return found;
}

// The extension with its dot; empty when the file name has none.
std::u16string Extension(const std::u16string& path)
{
    size_t separator = path.find_last_of(u"\\/");
    size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string::npos || (separator != std::u16string::npos && dot < separator))
        return {};
    return path.substr(dot);
}

}  // namespace

HRESULT FindFilter(const std::u16string& filePath, FilterLocation& location, std::string& problem)
{
    const std::u16string extension = Extension(filePath);
    if (extension.empty()) {
        problem = "the file has no extension, so no filter can be chosen";
        return REGDB_E_CLASSNOTREG;
    }

    std::u16string handler;
    if (!ReadClassesRootDefault(extension + u"\\PersistentHandler", handler)) {
        problem = "no filter is registered for the extension " + ToUtf8(extension);
        return REGDB_E_CLASSNOTREG;
    }

    WCHAR iid[40];
    StringFromGUID2(IID_IFilter, iid, 40);
    std::u16string classText;
    if (!ReadClassesRootDefault(u"CLSID\\" + handler + u"\\PersistentAddinsRegistered\\" +
                                    reinterpret_cast<const char16_t*>(iid),
                                classText)) {
        problem = "the persistent handler " + ToUtf8(handler) + " of " + ToUtf8(extension) + " names no IFilter";
        return REGDB_E_CLASSNOTREG;
    }
    if (FAILED(CLSIDFromString(reinterpret_cast<LPCOLESTR>(classText.c_str()), &location.clsid))) {
        problem = "the filter class id " + ToUtf8(classText) + " is malformed";
        return REGDB_E_CLASSNOTREG;
    }
    if (!ReadClassesRootDefault(u"CLSID\\" + classText + u"\\InprocServer32", location.modulePath) ||
        location.modulePath.empty()) {
        problem = "the filter class " + ToUtf8(classText) + " has no in-process server";
        return REGDB_E_CLASSNOTREG;
    }
    return S_OK;
}

FilterFinder::FilterFinder(std::u16string forcedModule) : forcedModule(std::move(forcedModule)) {}

const FilterFinder::Answer& FilterFinder::Lookup(const std::u16string& path)
{
    std::u16string key = Extension(path);
    for (char16_t& unit : key)
        if (unit >= u'A' && unit <= u'Z')
            unit = char16_t(unit - u'A' + u'a');
    SlimLockHolder hold(lock);
    auto found = answers.find(key);
    if (found != answers.end())
        return found->second;
    Answer answer{S_OK, {CLSID_WMFilter, forcedModule}, {}};
    if (forcedModule.empty())
        answer.status = FindFilter(path, answer.location, answer.problem);
    return answers.emplace(std::move(key), std::move(answer)).first->second;
}

HRESULT FilterFinder::Find(const std::u16string& path, FilterLocation& location, std::string& problem)
{
    const Answer& answer = Lookup(path);
    location = answer.location;
    problem = answer.problem;
    return answer.status;
}

bool FilterFinder::HasFilter(const std::u16string& path)
{
    return SUCCEEDED(Lookup(path).status);
}

}  // namespace host
