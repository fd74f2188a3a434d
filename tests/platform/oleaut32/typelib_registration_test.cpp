// RegisterTypeLib and UnRegisterTypeLib: the keys written for the filter's
// library and for a library with automation interfaces, and a round trip
// that leaves the registry as it was.
#include "platform/platform_test_support.h"

namespace trellan::test {
namespace {

const std::u16string filterLibrary = u"TypeLib\\{26FF8391-CEFA-44AC-AB73-8B4158F16429}";
const std::u16string automationLibrary = u"TypeLib\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A01}";
const GUID automationLibraryId = {0x6A0D3B10, 0x2F4C, 0x4E21, {0x9B, 0x7A, 0x5C, 0x3E, 0x1D, 0x2F, 0x4A, 0x01}};
const GUID filterLibraryId = {0x26FF8391, 0xCEFA, 0x44AC, {0xAB, 0x73, 0x8B, 0x41, 0x58, 0xF1, 0x64, 0x29}};

Owned<ITypeLib> Load(const std::string& path)
{
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadTypeLib(Utf16(path).c_str(), &library), S_OK) << path;
    return Owned<ITypeLib>(library);
}

class TypeLibraryRegistration : public FreshRegistry {};

TEST_F(TypeLibraryRegistration, FilterLibraryKeysAndRoundTrip)
{
    // Something of another product that must survive.
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"TypeLib\\{00000000-1111-2222-3333-444444444444}\\1.0", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);
    const std::vector<std::string> before = RegistrySnapshot(HKEY_CLASSES_ROOT);

    Owned<ITypeLib> library = Load(TYPELIB_TEST_MODULE);
    ASSERT_TRUE(library);
    const std::u16string path = Utf16(TYPELIB_TEST_MODULE);
    ASSERT_EQ(RegisterTypeLib(library.get(), path.c_str(), u"/opt/trellan/"), S_OK);

    struct Row {
        std::u16string key;
        std::string value;
    } rows[] = {
        {filterLibrary + u"\\1.0", "Trellan 1.0 Type Library"},
        {filterLibrary + u"\\1.0\\FLAGS", "0"},
        {filterLibrary + u"\\1.0\\HELPDIR", "/opt/trellan/"},
        {filterLibrary + u"\\1.0\\0\\win32", TYPELIB_TEST_MODULE},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DefaultValue(row.key), row.value) << Utf8(row.key);
    // IWMFilter is neither dual nor oleautomation: no Interface key.
    EXPECT_FALSE(KeyExists(u"Interface\\{8B46CE21-E4A7-4D5B-94E2-61C3ADB2E6E7}"));
    EXPECT_FALSE(KeyExists(u"Interface"));

    // Registering again changes nothing.
    const std::vector<std::string> registered = RegistrySnapshot(HKEY_CLASSES_ROOT);
    ASSERT_EQ(RegisterTypeLib(library.get(), path.c_str(), u"/opt/trellan/"), S_OK);
    EXPECT_EQ(RegistrySnapshot(HKEY_CLASSES_ROOT), registered);

    ASSERT_EQ(UnRegisterTypeLib(filterLibraryId, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(RegistrySnapshot(HKEY_CLASSES_ROOT), before);
    EXPECT_EQ(UnRegisterTypeLib(filterLibraryId, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

TEST_F(TypeLibraryRegistration, OtherVersionsAndLocalesStay)
{
    Owned<ITypeLib> library = Load(TYPELIB_TEST_TLB);
    ASSERT_TRUE(library);
    const std::u16string path = Utf16(TYPELIB_TEST_TLB);
    ASSERT_EQ(RegisterTypeLib(library.get(), path.c_str(), nullptr), S_OK);
    EXPECT_FALSE(KeyExists(filterLibrary + u"\\1.0\\HELPDIR"));
    // Another version and another locale of the same library, written by hand.
    for (const char16_t* key : {u"\\2.1\\0\\win32", u"\\1.0\\409\\win32"}) {
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (filterLibrary + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    ASSERT_EQ(UnRegisterTypeLib(filterLibraryId, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(KeyExists(filterLibrary + u"\\1.0\\0"));
    EXPECT_TRUE(KeyExists(filterLibrary + u"\\1.0\\409\\win32"));
    EXPECT_EQ(DefaultValue(filterLibrary + u"\\1.0\\FLAGS"), "0");

    ASSERT_EQ(UnRegisterTypeLib(filterLibraryId, 1, 0, 0x409, SYS_WIN32), S_OK);
    EXPECT_FALSE(KeyExists(filterLibrary + u"\\1.0"));
    EXPECT_TRUE(KeyExists(filterLibrary + u"\\2.1\\0\\win32"));
    EXPECT_EQ(UnRegisterTypeLib(filterLibraryId, 2, 1, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
    ASSERT_EQ(UnRegisterTypeLib(filterLibraryId, 2, 1, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(KeyExists(filterLibrary));
}

TEST_F(TypeLibraryRegistration, AutomationInterfacesGetInterfaceKeys)
{
    const std::vector<std::string> before = RegistrySnapshot(HKEY_CLASSES_ROOT);
    Owned<ITypeLib> library = Load(TYPELIB_TEST_AUTOMATION_TLB);
    ASSERT_TRUE(library);
    const std::u16string path = Utf16(TYPELIB_TEST_AUTOMATION_TLB);
    ASSERT_EQ(RegisterTypeLib(library.get(), path.c_str(), u""), S_OK);
    EXPECT_EQ(DefaultValue(automationLibrary + u"\\2.3"), "Automation test library");
    // widl gives a library without an lcid attribute U.S. English.
    EXPECT_EQ(DefaultValue(automationLibrary + u"\\2.3\\409\\win32"), TYPELIB_TEST_AUTOMATION_TLB);

    const std::string libid = "{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A01}";
    struct Row {
        std::u16string iid;
        std::string name;  // "" for no key
        std::string proxyStub;
    } rows[] = {
        {u"{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A02}", "IAutomated", "{00020424-0000-0000-C000-000000000046}"},
        {u"{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A03}", "IDualThing", "{00020424-0000-0000-C000-000000000046}"},
        {u"{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}", "DEvents", "{00020420-0000-0000-C000-000000000046}"},
        {u"{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A05}", "", ""},
    };
    for (const Row& row : rows) {
        const std::u16string key = u"Interface\\" + row.iid;
        if (row.name.empty()) {
            EXPECT_FALSE(KeyExists(key)) << Utf8(row.iid);
            continue;
        }
        EXPECT_EQ(DefaultValue(key), row.name);
        EXPECT_EQ(DefaultValue(key + u"\\ProxyStubClsid32"), row.proxyStub) << row.name;
        EXPECT_EQ(DefaultValue(key + u"\\TypeLib"), libid) << row.name;
        HKEY typeLib = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + u"\\TypeLib").c_str(), 0, KEY_READ, &typeLib),
                  ERROR_SUCCESS);
        WCHAR version[16] = {};
        DWORD bytes = sizeof version;
        EXPECT_EQ(RegQueryValueExW(typeLib, u"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &bytes),
                  ERROR_SUCCESS);
        EXPECT_EQ(Utf8(version), "2.3");
        RegCloseKey(typeLib);
    }

    // An Interface key that another library took over meanwhile stays.
    HKEY taken = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}\\TypeLib", 0,
                            KEY_ALL_ACCESS, &taken),
              ERROR_SUCCESS);
    const std::u16string owner = u"{11111111-2222-3333-4444-555555555555}";
    RegSetValueExW(taken, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(owner.c_str()),
                   static_cast<DWORD>((owner.size() + 1) * 2));
    RegCloseKey(taken);

    ASSERT_EQ(UnRegisterTypeLib(automationLibraryId, 2, 3, 0x409, SYS_WIN32), S_OK);
    EXPECT_FALSE(KeyExists(automationLibrary));
    EXPECT_FALSE(KeyExists(u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A02}"));
    EXPECT_FALSE(KeyExists(u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A03}"));
    EXPECT_EQ(DefaultValue(u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}"), "DEvents");
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}\\TypeLib"), 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT,
                            u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}\\ProxyStubClsid32"), 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Interface\\{6A0D3B10-2F4C-4E21-9B7A-5C3E1D2F4A04}"), 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Interface"), 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"TypeLib"), 0);
    EXPECT_EQ(RegistrySnapshot(HKEY_CLASSES_ROOT), before);
}

TEST_F(TypeLibraryRegistration, BadArgumentsAndRegistryFailures)
{
    Owned<ITypeLib> library = Load(TYPELIB_TEST_TLB);
    ASSERT_TRUE(library);
    const std::u16string path = Utf16(TYPELIB_TEST_TLB);
    EXPECT_EQ(RegisterTypeLib(nullptr, path.c_str(), nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(library.get(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(UnRegisterTypeLib(filterLibraryId, 1, 0, 0, static_cast<SYSKIND>(9)), E_INVALIDARG);

    struct Failure {
        const char* function;
        int skip;
    } failures[] = {{"RegCreateKeyExW", 0}, {"RegCreateKeyExW", 2}, {"RegSetValueExW", 0}, {"RegSetValueExW", 3}};
    for (const Failure& row : failures) {
        PlatformSeam_FailRegistryCall(row.function, ERROR_ACCESS_DENIED, row.skip, 1);
        EXPECT_EQ(RegisterTypeLib(library.get(), path.c_str(), u"/x/"), TYPE_E_REGISTRYACCESS)
            << row.function << " " << row.skip;
        PlatformSeam_ClearRegistryFailures();
    }
    // A key that opens only for reading refuses the registration too.
    ASSERT_EQ(RegisterTypeLib(library.get(), path.c_str(), u"/x/"), S_OK);
    ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, (filterLibrary + u"\\1.0\\FLAGS").c_str(), TRUE),
              ERROR_SUCCESS);
    EXPECT_EQ(RegisterTypeLib(library.get(), path.c_str(), u"/x/"), TYPE_E_REGISTRYACCESS);
}

}  // namespace
}  // namespace trellan::test
