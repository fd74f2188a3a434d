// The registration driver over class tables made in the tests: the choice
// of rows, the stop at the first failure, component categories, the short
// row form, and the type library with its ".tlb" fall-back.
#include "category_map.h"
#include "registration/expected_registration.h"
#include "server_module.h"
#include "type_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace trellan::test {
namespace {

std::vector<std::string> calls;

template <char Name, HRESULT Result>
HRESULT WINAPI RecordUpdate(BOOL registerServer)
{
    calls.push_back(std::string(1, Name) + (registerServer ? "+" : "-"));
    return Result;
}

LPCWSTR WINAPI Described()
{
    return OLESTR("a class registered on its own");
}

const CLSID classA = {0xA0000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const CLSID classB = {0xB0000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const CLSID classC = {0xC0000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};
const CLSID classD = {0xD0000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 4}};
const GUID categoryOne = {0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
const GUID categoryTwo = {0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};

const CategoryMapEntry twoCategories[] = {{1, &categoryOne}, {2, &categoryTwo}, {0, nullptr}};
const CategoryMapEntry noCategories[] = {{0, nullptr}};

const CategoryMapEntry* WINAPI TwoCategories()
{
    return twoCategories;
}
const CategoryMapEntry* WINAPI NoCategories()
{
    return noCategories;
}

ServerModule ModuleWith(ObjectMapEntry* table, ULONG size = fullModuleSize, HINSTANCE typeLibrary = nullptr)
{
    ServerModule module{};
    module.size = size;
    module.objectMap = table;
    module.typeLibInstance = typeLibrary;
    return module;
}

class RegistrationDriverTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        calls.clear();
    }
};

TEST_F(RegistrationDriverTest, RowsAreChosenAndTheFirstFailureStopsRegistration)
{
    ObjectMapEntry table[] = {
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
        {&classB, RecordUpdate<'B', S_OK>, nullptr, nullptr, nullptr, 0, Described, nullptr, nullptr},
        {&classC, RecordUpdate<'C', E_ACCESSDENIED>, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
        {&classD, RecordUpdate<'D', S_FALSE>, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
        {},
    };
    ServerModule module = ModuleWith(table);

    EXPECT_EQ(module.RegisterServer(true, nullptr), E_ACCESSDENIED);
    EXPECT_EQ(calls, (std::vector<std::string>{"A+", "C+"}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib")) << "no type library after a failure";

    // A filter takes its own row, described or not.
    calls.clear();
    EXPECT_EQ(module.RegisterServer(false, &classB), S_OK);
    EXPECT_EQ(module.RegisterServer(false, &classD), S_FALSE) << "the last step's result";
    EXPECT_EQ(calls, (std::vector<std::string>{"B+", "D+"}));

    // No row taken.
    const CLSID unknown = {0xEEEEEEEE, 0, 0, {0}};
    calls.clear();
    EXPECT_EQ(module.RegisterServer(false, &unknown), S_OK);
    EXPECT_TRUE(calls.empty());

    // Unregistration visits every chosen row whatever they answer.
    EXPECT_EQ(module.UnregisterServer(true, nullptr), S_OK);
    EXPECT_EQ(calls, (std::vector<std::string>{"A-", "C-", "D-"}));
}

TEST_F(RegistrationDriverTest, CategoriesAreRegisteredAndRemoved)
{
    ObjectMapEntry table[] = {
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, 0, nullptr, TwoCategories, nullptr},
        {&classB, RecordUpdate<'B', S_OK>, nullptr, nullptr, nullptr, 0, nullptr, NoCategories, nullptr},
        {},
    };
    ServerModule module = ModuleWith(table);
    ASSERT_EQ(module.RegisterServer(false, nullptr), S_OK);
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    const std::string classKey = "HKCR\\CLSID\\{A0000000-0000-0000-0000-000000000001}";
    EXPECT_EQ(registry.count(classKey + "\\Implemented Categories\\{11111111-1111-1111-0101-010101010101}"), 1u);
    EXPECT_EQ(registry.count(classKey + "\\Required Categories\\{22222222-2222-2222-0202-020202020202}"), 1u)
        << "kind 2 is a required category";
    EXPECT_EQ(registry.count("HKCR\\CLSID\\{B0000000-0000-0000-0000-000000000002}\\Implemented Categories"), 0u);

    ASSERT_EQ(module.UnregisterServer(false, nullptr), S_OK);
    registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.count(classKey + "\\Implemented Categories\\{11111111-1111-1111-0101-010101010101}"), 0u);
    EXPECT_EQ(registry.count(classKey + "\\Required Categories\\{22222222-2222-2222-0202-020202020202}"), 0u);

    EXPECT_EQ(RegisterClassCategories(&classA, nullptr, true), S_OK);
    EXPECT_EQ(RegisterClassCategories(&classA, noCategories, true), S_OK);

    // A manager that cannot be created: the categories are left out and the
    // registration goes on.
    PlatformSeam_FailAllocations(0, 1);
    EXPECT_EQ(RegisterClassCategories(&classA, twoCategories, true), S_OK);
    PlatformSeam_FailAllocations(0, 0);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT).count(classKey + "\\Implemented Categories"), 0u);

    // A category call that fails ends the registration with its failure.
    PlatformSeam_FailRegistryCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, 0, 1000);
    EXPECT_TRUE(FAILED(module.RegisterServer(false, nullptr)));
    PlatformSeam_ClearRegistryFailures();
}

TEST_F(RegistrationDriverTest, ShortRowsAreSteppedByTheirOwnSize)
{
    // Seven-field rows: no category map, no objectMain.
    struct ShortRow {
        const CLSID* clsid;
        UpdateRegistryFunction updateRegistry;
        CreateClassObjectFunction createClassObject;
        CreateInstanceFunction createInstance;
        IUnknown* classObject;
        DWORD_PTR reserved;
        GetDescriptionFunction getDescription;
    };
    ShortRow table[] = {
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, 0, nullptr},
        {&classB, RecordUpdate<'B', S_OK>, nullptr, nullptr, nullptr, 0, nullptr},
        {&classC, RecordUpdate<'C', S_OK>, nullptr, nullptr, nullptr, 0, nullptr},
        {},
    };
    ServerModule module = ModuleWith(reinterpret_cast<ObjectMapEntry*>(table), shortModuleSize);
    EXPECT_EQ(module.RegisterServer(false, nullptr), S_OK);
    EXPECT_EQ(module.UnregisterServer(false, nullptr), S_OK);
    EXPECT_EQ(calls, (std::vector<std::string>{"A+", "B+", "C+", "A-", "B-", "C-"}));
}

TEST(DirectoryPartLength, KeepsTheLastSeparator)
{
    struct Case {
        const char16_t* path;
        int length;
    };
    const Case cases[] = {
        {u"a:b/c\\d", 6},   {u"C:\\dir\\x.dll", 7}, {u"x.dll", 0},     {u"", 0},
        {u"/usr/lib/", 9},  {u"C:", 2},            {u"\\\\s\\x", 4}, {u"dir/\U0001F600/f", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DirectoryPartLength(c.path), c.length) << Utf8(c.path);
}

// A copy of the resource-less module at `path`, loaded; and trellan.tlb
// copied to `typeLibraryCopy` when given.
class TypeLibraryTest : public RegistrationDriverTest {
protected:
    HMODULE LoadCopy(const std::filesystem::path& path, const std::filesystem::path& typeLibraryCopy)
    {
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::copy_file(TRELLAN_EMPTY_MODULE_PATH, path, std::filesystem::copy_options::overwrite_existing);
        if (!typeLibraryCopy.empty())
            std::filesystem::copy_file(TRELLAN_TYPELIB_FILE, typeLibraryCopy,
                                       std::filesystem::copy_options::overwrite_existing);
        const std::u16string widePath = Utf16(path.string());
        HMODULE handle = LoadLibraryW(widePath.c_str());
        EXPECT_NE(handle, nullptr);
        loaded.push_back(handle);
        return handle;
    }
    void TearDown() override
    {
        for (HMODULE handle : loaded)
            FreeLibrary(handle);
        RegistrationDriverTest::TearDown();
    }

    std::string Registered(const std::string& subkey)
    {
        RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
        return registry["HKCR\\TypeLib\\{26FF8391-CEFA-44AC-AB73-8B4158F16429}\\1.0\\" + subkey + ":@"];
    }

    const std::filesystem::path temp = std::filesystem::path(TRELLAN_TEST_TEMP_DIR) / "typelib";
    std::vector<HMODULE> loaded;
};

TEST_F(TypeLibraryTest, TheTlbBesideAModuleWithoutOne)
{
    struct Case {
        const char* what;
        std::filesystem::path module;
        std::filesystem::path typeLibrary;
    };
    const Case cases[] = {
        {"extension replaced", temp / "plain" / "module.so", temp / "plain" / "module.tlb"},
        {"no dot: appended", temp / "nodot" / "module", temp / "nodot" / "module.tlb"},
        {"dot only in a directory", temp / "dir.with.dot" / "module", temp / "dir.with.tlb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServerModule module = ModuleWith(nullptr, fullModuleSize, LoadCopy(c.module, c.typeLibrary));
        ASSERT_EQ(module.RegisterTypeLibrary(nullptr), S_OK);
        EXPECT_EQ(Registered("0\\win32"), "sz:" + c.typeLibrary.string());
        EXPECT_EQ(Registered("HELPDIR"), "sz:" + c.typeLibrary.parent_path().string() + "/");
        EXPECT_EQ(module.UnregisterTypeLibrary(nullptr), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{26FF8391-CEFA-44AC-AB73-8B4158F16429}"));
    }
}

TEST_F(TypeLibraryTest, NoTypeLibraryAnywhere)
{
    HMODULE handle = LoadCopy(temp / "none" / "module.so", {});
    ServerModule module = ModuleWith(nullptr, fullModuleSize, handle);
    BSTR path = reinterpret_cast<BSTR>(0x1);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(0x1);
    const HRESULT result = module.LoadTypeLibrary(nullptr, &path, &library);
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(module.RegisterTypeLibrary(nullptr), result);
    EXPECT_EQ(module.UnregisterTypeLibrary(nullptr), result) << "the load's own failure";

    // The whole walk answers the load's failure; unregistration still S_OK.
    ObjectMapEntry table[] = {
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr}, {}};
    module.objectMap = table;
    EXPECT_EQ(module.RegisterServer(true, nullptr), result);
    EXPECT_EQ(module.UnregisterServer(true, nullptr), S_OK);
}

TEST_F(TypeLibraryTest, PathsTooLongForTheBuffersAreRefused)
{
    HMODULE handle = LoadCopy(temp / "long" / "module.so", temp / "long" / "module.tlb");
    ServerModule module = ModuleWith(nullptr, fullModuleSize, handle);
    const std::u16string suffix(300, u'x');
    // A short suffix fits; the fall-back then finds module.tlb.
    BSTR shortPath = nullptr;
    ITypeLib* shortLibrary = nullptr;
    ASSERT_EQ(module.LoadTypeLibrary(suffix.substr(0, 10).c_str(), &shortPath, &shortLibrary), S_OK);
    EXPECT_EQ(Utf8(shortPath), (temp / "long" / "module.tlb").string());
    shortLibrary->Release();
    SysFreeString(shortPath);

    for (size_t length : {size_t(220), size_t(250), size_t(300)}) {
        BSTR path = nullptr;
        ITypeLib* library = nullptr;
        const HRESULT result = module.LoadTypeLibrary(suffix.substr(0, length).c_str(), &path, &library);
        EXPECT_TRUE(FAILED(result)) << length;
        EXPECT_EQ(path, nullptr);
        EXPECT_EQ(library, nullptr);
        EXPECT_TRUE(FAILED(module.RegisterTypeLibrary(suffix.substr(0, length).c_str()))) << length;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib"));
}

}  // namespace
}  // namespace trellan::test
