// The registration driver over class tables made in the tests: the choice
// of rows, the stop at the first failure, and the type library with its
// ".tlb" fall-back.
#include "registration/expected_registration.h"
#include "registration_driver.h"
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
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, nullptr, nullptr},
        {&classB, RecordUpdate<'B', S_OK>, nullptr, nullptr, nullptr, Described, nullptr},
        {&classC, RecordUpdate<'C', E_ACCESSDENIED>, nullptr, nullptr, nullptr, nullptr, nullptr},
        {&classD, RecordUpdate<'D', S_FALSE>, nullptr, nullptr, nullptr, nullptr, nullptr},
        {},
    };
    EXPECT_EQ(RegisterServer(table, nullptr, true, nullptr), E_ACCESSDENIED);
    EXPECT_EQ(calls, (std::vector<std::string>{"A+", "C+"}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib")) << "no type library after a failure";

    // A filter takes its own row, described or not.
    calls.clear();
    EXPECT_EQ(RegisterServer(table, nullptr, false, &classB), S_OK);
    EXPECT_EQ(RegisterServer(table, nullptr, false, &classD), S_FALSE) << "the last step's result";
    EXPECT_EQ(calls, (std::vector<std::string>{"B+", "D+"}));

    // No row taken.
    const CLSID unknown = {0xEEEEEEEE, 0, 0, {0}};
    calls.clear();
    EXPECT_EQ(RegisterServer(table, nullptr, false, &unknown), S_OK);
    EXPECT_TRUE(calls.empty());

    // Unregistration visits every chosen row whatever they answer.
    EXPECT_EQ(UnregisterServer(table, nullptr, true, nullptr), S_OK);
    EXPECT_EQ(calls, (std::vector<std::string>{"A-", "C-", "D-"}));
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
        HINSTANCE module = LoadCopy(c.module, c.typeLibrary);
        ASSERT_EQ(RegisterTypeLibrary(module, nullptr), S_OK);
        EXPECT_EQ(Registered("0\\win32"), "sz:" + c.typeLibrary.string());
        EXPECT_EQ(Registered("HELPDIR"), "sz:" + c.typeLibrary.parent_path().string() + "/");
        EXPECT_EQ(UnregisterTypeLibrary(module, nullptr), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{26FF8391-CEFA-44AC-AB73-8B4158F16429}"));
    }
}

TEST_F(TypeLibraryTest, NoTypeLibraryAnywhere)
{
    HMODULE handle = LoadCopy(temp / "none" / "module.so", {});
    HINSTANCE module = handle;
    BSTR path = reinterpret_cast<BSTR>(0x1);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(0x1);
    const HRESULT result = LoadTypeLibrary(module, nullptr, &path, &library);
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(RegisterTypeLibrary(module, nullptr), result);
    EXPECT_EQ(UnregisterTypeLibrary(module, nullptr), result) << "the load's own failure";

    // The whole walk answers the load's failure; unregistration still S_OK.
    ObjectMapEntry table[] = {
        {&classA, RecordUpdate<'A', S_OK>, nullptr, nullptr, nullptr, nullptr, nullptr}, {}};
    EXPECT_EQ(RegisterServer(table, module, true, nullptr), result);
    EXPECT_EQ(UnregisterServer(table, module, true, nullptr), S_OK);
}

TEST_F(TypeLibraryTest, PathsTooLongForTheBuffersAreRefused)
{
    HMODULE handle = LoadCopy(temp / "long" / "module.so", temp / "long" / "module.tlb");
    HINSTANCE module = handle;
    const std::u16string suffix(300, u'x');
    // A short suffix fits; the fall-back then finds module.tlb.
    BSTR shortPath = nullptr;
    ITypeLib* shortLibrary = nullptr;
    ASSERT_EQ(LoadTypeLibrary(module, suffix.substr(0, 10).c_str(), &shortPath, &shortLibrary), S_OK);
    EXPECT_EQ(Utf8(shortPath), (temp / "long" / "module.tlb").string());
    shortLibrary->Release();
    SysFreeString(shortPath);

    for (size_t length : {size_t(220), size_t(250), size_t(300)}) {
        BSTR path = nullptr;
        ITypeLib* library = nullptr;
        const HRESULT result = LoadTypeLibrary(module, suffix.substr(0, length).c_str(), &path, &library);
        EXPECT_TRUE(FAILED(result)) << length;
        EXPECT_EQ(path, nullptr);
        EXPECT_EQ(library, nullptr);
        EXPECT_TRUE(FAILED(RegisterTypeLibrary(module, suffix.substr(0, length).c_str()))) << length;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib"));
}

}  // namespace
}  // namespace trellan::test
