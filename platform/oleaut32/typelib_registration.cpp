// RegisterTypeLib and UnRegisterTypeLib: the keys the platform writes for a
// type library under HKEY_CLASSES_ROOT.
//
//   TypeLib\{libid}\<major>.<minor>           (default) = help string, or name
//   TypeLib\{libid}\<major>.<minor>\FLAGS     (default) = library flags, decimal
//   TypeLib\{libid}\<major>.<minor>\HELPDIR   (default) = help directory
//   TypeLib\{libid}\<major>.<minor>\<lcid>\win32 (or win64, ...) (default) = path
//   Interface\{iid}  (default) = name, with ProxyStubClsid32 and TypeLib
//
// Only dispinterfaces and dual or oleautomation interfaces get an Interface
// key, as on the platform: the others are not marshalled from the library.
#include "typelib_registry_key.h"

#include <win32/typelib.h>

#include <cstdio>
#include <memory>
#include <vector>

using platform::registry::DeleteIfEmpty;
using platform::registry::DeleteTree;
using platform::registry::GuidText;
using platform::registry::RegistryKey;

namespace {

const GUID proxyStubDispatch = {0x00020420, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID proxyStubAutomation = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct PlatformName {
    SYSKIND syskind;
    const char16_t* name;
};

const PlatformName platformNames[] = {
    {SYS_WIN16, u"win16"},
    {SYS_WIN32, u"win32"},
    {SYS_MAC, u"mac"},
    {SYS_WIN64, u"win64"},
};

const char16_t* PlatformKeyName(SYSKIND syskind)
{
    for (const PlatformName& row : platformNames)
        if (row.syskind == syskind)
            return row.name;
    return nullptr;
}

std::u16string Ascii(const char* text)
{
    std::u16string wide;
    for (; *text; ++text)
        wide += static_cast<char16_t>(*text);
    return wide;
}

std::u16string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return Ascii(text);
}

std::u16string VersionText(WORD major, WORD minor)
{
    return Hex(major) + u"." + Hex(minor);
}

std::u16string VersionKeyPath(REFGUID libid, WORD major, WORD minor)
{
    return u"TypeLib\\" + GuidText(libid) + u"\\" + VersionText(major, minor);
}

// Owners of what the type-library interfaces hand out.
struct ReleaseInterface {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using Owned = std::unique_ptr<Interface, ReleaseInterface>;

struct FreeBstr {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, FreeBstr>;

class LibraryAttributes {
public:
    explicit LibraryAttributes(ITypeLib* library) : library(library) {}
    LibraryAttributes(const LibraryAttributes&) = delete;
    LibraryAttributes& operator=(const LibraryAttributes&) = delete;
    ~LibraryAttributes()
    {
        if (attributes)
            library->ReleaseTLibAttr(attributes);
    }
    HRESULT Get() { return library->GetLibAttr(&attributes); }
    const TLIBATTR* operator->() const { return attributes; }

private:
    ITypeLib* library;
    TLIBATTR* attributes = nullptr;
};

class TypeAttributes {
public:
    explicit TypeAttributes(ITypeInfo* typeInfo) : typeInfo(typeInfo) {}
    TypeAttributes(const TypeAttributes&) = delete;
    TypeAttributes& operator=(const TypeAttributes&) = delete;
    ~TypeAttributes()
    {
        if (attributes)
            typeInfo->ReleaseTypeAttr(attributes);
    }
    HRESULT Get() { return typeInfo->GetTypeAttr(&attributes); }
    const TYPEATTR* operator->() const { return attributes; }

private:
    ITypeInfo* typeInfo;
    TYPEATTR* attributes = nullptr;
};

// An interface of the library that gets an Interface key.
struct RegisteredInterface {
    GUID iid;
    std::u16string name;
    bool dispatchOnly;
};

bool GetsInterfaceKey(const TYPEATTR& attributes)
{
    if (attributes.typekind == TKIND_DISPATCH)
        return true;
    return attributes.typekind == TKIND_INTERFACE &&
           (attributes.wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0;
}

HRESULT ListInterfaces(ITypeLib* library, std::vector<RegisteredInterface>& interfaces)
{
    UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        ITypeInfo* raw = nullptr;
        HRESULT result = library->GetTypeInfo(index, &raw);
        if (FAILED(result))
            return result;
        Owned<ITypeInfo> typeInfo(raw);
        TypeAttributes attributes(typeInfo.get());
        if (FAILED(result = attributes.Get()))
            return result;
        if (!GetsInterfaceKey(*attributes.operator->()))
            continue;
        BSTR rawName = nullptr;
        if (FAILED(result = typeInfo->GetDocumentation(MEMBERID_NIL, &rawName, nullptr, nullptr, nullptr)))
            return result;
        OwnedBstr name(rawName);
        bool dispatchOnly = attributes->typekind == TKIND_DISPATCH && !(attributes->wTypeFlags & TYPEFLAG_FDUAL);
        interfaces.push_back({attributes->guid, name ? name.get() : u"", dispatchOnly});
    }
    return S_OK;
}

bool WriteDefault(HKEY parent, const std::u16string& path, const std::u16string& value)
{
    RegistryKey key;
    return key.Create(parent, path) == ERROR_SUCCESS && key.SetText(nullptr, value) == ERROR_SUCCESS;
}

bool WriteInterfaceKey(const RegisteredInterface& registered, const TLIBATTR& library)
{
    std::u16string path = u"Interface\\" + GuidText(registered.iid);
    if (!WriteDefault(HKEY_CLASSES_ROOT, path, registered.name))
        return false;
    const GUID& proxyStub = registered.dispatchOnly ? proxyStubDispatch : proxyStubAutomation;
    if (!WriteDefault(HKEY_CLASSES_ROOT, path + u"\\ProxyStubClsid32", GuidText(proxyStub)))
        return false;
    RegistryKey typeLib;
    return typeLib.Create(HKEY_CLASSES_ROOT, path + u"\\TypeLib") == ERROR_SUCCESS &&
           typeLib.SetText(nullptr, GuidText(library.guid)) == ERROR_SUCCESS &&
           typeLib.SetText(u"Version", VersionText(library.wMajorVerNum, library.wMinorVerNum)) == ERROR_SUCCESS;
}

// The Interface keys that `path`'s library wrote and that still name it.
void RemoveInterfaceKeys(LPCOLESTR path, REFGUID libid)
{
    ITypeLib* raw = nullptr;
    if (FAILED(LoadTypeLib(path, &raw)))
        return;
    Owned<ITypeLib> library(raw);
    std::vector<RegisteredInterface> interfaces;
    if (FAILED(ListInterfaces(library.get(), interfaces)))
        return;
    const std::u16string libidText = GuidText(libid);
    for (const RegisteredInterface& registered : interfaces) {
        std::u16string path = u"Interface\\" + GuidText(registered.iid);
        RegistryKey typeLib;
        std::u16string owner;
        if (typeLib.Open(HKEY_CLASSES_ROOT, path + u"\\TypeLib", KEY_READ) != ERROR_SUCCESS ||
            !typeLib.QueryText(nullptr, owner) || lstrcmpiW(owner.c_str(), libidText.c_str()) != 0)
            continue;
        typeLib.Close();
        DeleteTree(HKEY_CLASSES_ROOT, path);
    }
}

// True when the version key holds another locale or platform besides the
// FLAGS and HELPDIR keys.
bool HasOtherLocales(HKEY versionKey)
{
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = sizeof name / sizeof name[0];
        if (RegEnumKeyExW(versionKey, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        if (lstrcmpiW(name, u"FLAGS") != 0 && lstrcmpiW(name, u"HELPDIR") != 0)
            return true;
    }
}

HRESULT Register(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDir)
{
    LibraryAttributes attributes(library);
    HRESULT result = attributes.Get();
    if (FAILED(result))
        return result;
    BSTR rawName = nullptr, rawHelp = nullptr;
    if (FAILED(result = library->GetDocumentation(-1, &rawName, &rawHelp, nullptr, nullptr)))
        return result;
    OwnedBstr name(rawName), help(rawHelp);
    std::u16string description = help && *help ? help.get() : name ? name.get() : u"";

    const char16_t* platformName = PlatformKeyName(attributes->syskind);
    if (!platformName)
        return E_INVALIDARG;
    std::vector<RegisteredInterface> interfaces;
    if (FAILED(result = ListInterfaces(library, interfaces)))
        return result;

    const std::u16string version = VersionKeyPath(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum);
    bool written = WriteDefault(HKEY_CLASSES_ROOT, version, description) &&
                   WriteDefault(HKEY_CLASSES_ROOT, version + u"\\FLAGS", Ascii(std::to_string(attributes->wLibFlags).c_str())) &&
                   (!helpDir || WriteDefault(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", helpDir)) &&
                   WriteDefault(HKEY_CLASSES_ROOT, version + u"\\" + Hex(attributes->lcid) + u"\\" + platformName,
                                fullPath);
    for (size_t i = 0; written && i < interfaces.size(); ++i)
        written = WriteInterfaceKey(interfaces[i], *attributes.operator->());
    return written ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT Unregister(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind)
{
    const char16_t* platformName = PlatformKeyName(syskind);
    if (!platformName)
        return E_INVALIDARG;
    const std::u16string version = VersionKeyPath(libid, major, minor);
    const std::u16string locale = version + u"\\" + Hex(lcid);
    const std::u16string platformPath = locale + u"\\" + platformName;
    RegistryKey platformKey;
    std::u16string path;
    if (platformKey.Open(HKEY_CLASSES_ROOT, platformPath, KEY_READ) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    bool hasPath = platformKey.QueryText(nullptr, path);
    platformKey.Close();

    if (hasPath)
        RemoveInterfaceKeys(path.c_str(), libid);
    if (DeleteTree(HKEY_CLASSES_ROOT, platformPath) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    DeleteIfEmpty(HKEY_CLASSES_ROOT, locale);

    RegistryKey versionKey;
    if (versionKey.Open(HKEY_CLASSES_ROOT, version, KEY_READ) == ERROR_SUCCESS && !HasOtherLocales(versionKey.Get())) {
        versionKey.Close();
        if (DeleteTree(HKEY_CLASSES_ROOT, version) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }
    DeleteIfEmpty(HKEY_CLASSES_ROOT, u"TypeLib\\" + GuidText(libid));
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir)
{
    if (!ptlib || !szFullPath)
        return E_INVALIDARG;
    try {
        return Register(ptlib, szFullPath, szHelpDir);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
{
    try {
        return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // extern "C"
