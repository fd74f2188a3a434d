// Registering and unregistering the real module, loaded as the platform's
// registration tool loads it.
#include "registration/expected_registration.h"
#include "registration/module_path_double.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace trellan::test {
namespace {

using RegistrationExport = HRESULT (*)();

// The module loaded from a path, with its two registration exports.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path) : path(path)
    {
        const std::u16string widePath = Utf16(path);
        handle = LoadLibraryW(widePath.c_str());
        if (!handle)
            return;
        registerServer = reinterpret_cast<RegistrationExport>(
            reinterpret_cast<void*>(GetProcAddress(handle, "DllRegisterServer")));
        unregisterServer = reinterpret_cast<RegistrationExport>(
            reinterpret_cast<void*>(GetProcAddress(handle, "DllUnregisterServer")));
    }
    ~LoadedModule()
    {
        if (handle)
            FreeLibrary(handle);
    }
    bool Loaded() const { return handle && registerServer && unregisterServer; }

    std::string path;
    HMODULE handle = nullptr;
    RegistrationExport registerServer = nullptr;
    RegistrationExport unregisterServer = nullptr;
};

class ModuleRegistrationTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        module.emplace(std::filesystem::canonical(TRELLAN_MODULE_PATH).string());
        ASSERT_TRUE(module->Loaded());
    }
    void TearDown() override
    {
        module.reset();
        ScriptTest::TearDown();
    }

    std::optional<LoadedModule> module;
};

// The machine's classes, labelled as the view over them.
RegistryMap MachineClasses()
{
    Key classes;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes", 0, KEY_READ, classes.Receive()) != ERROR_SUCCESS)
        return {};
    return Snapshot(classes.Get());
}

TEST_F(ModuleRegistrationTest, RegistrationWritesEveryRowAndTheTypeLibrary)
{
    // A user's key for an extension (media players make them) does not draw
    // registration into the user's classes: the indexer reads the machine's.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Classes\\.mp3\\OpenWithProgids", "player.mp3", ""),
              ERROR_SUCCESS);
    ASSERT_EQ(module->registerServer(), S_OK);
    const RegistryMap expected = ExpectedRegistration(module->path);
    EXPECT_EQ(MachineClasses(), expected);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\.mp3\\PersistentHandler"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".mp3\\PersistentHandler")) << "seen through the view";

    // Twice in a row changes nothing.
    ASSERT_EQ(module->registerServer(), S_OK);
    EXPECT_EQ(MachineClasses(), expected);

    // Unregistration removes it there.
    ASSERT_EQ(module->unregisterServer(), S_OK);
    EXPECT_EQ(MachineClasses(), ExpectedAfterUnregistration());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\.mp3\\OpenWithProgids"));
}

TEST_F(ModuleRegistrationTest, StaleKeysAreReplacedAndOtherHandlersComeBack)
{
    const std::string filterKey = "CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}";
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, filterKey + "\\Stale\\Deeper", "", "old build"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, filterKey, "Leftover", "x"), ERROR_SUCCESS);
    const std::vector<ReplacedHandler> replaced = ReplacedHandlers();
    ASSERT_FALSE(replaced.empty());
    for (const ReplacedHandler& row : replaced)
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, row.key, "", row.handler), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, ".mp3\\OpenWithList\\player.exe", "", ""), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, ".wma", "Content Type", "audio/x-ms-wma"), ERROR_SUCCESS);

    // Registered twice: the handler saved the first time stays saved.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(module->registerServer(), S_OK);
        RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
        EXPECT_EQ(registry.count("HKCR\\" + filterKey + "\\Stale"), 0u);
        EXPECT_EQ(registry.count("HKCR\\" + filterKey + ":Leftover"), 0u);
        for (const ReplacedHandler& row : replaced) {
            EXPECT_EQ(registry["HKCR\\" + row.key + ":@"], "sz:{841BB775-EF27-4f3e-8522-D09327C5A8EA}");
            EXPECT_EQ(registry["HKCR\\" + row.key + ":" + row.savedName], "sz:" + row.handler) << round;
        }
    }

    // Unregistration leaves the extension keys with what others put there,
    // the replaced handlers back in place.
    ASSERT_EQ(module->unregisterServer(), S_OK);
    RegistryMap expected = ExpectedAfterUnregistration();
    expected["HKCR\\.mp3\\OpenWithList"] = "key";
    expected["HKCR\\.mp3\\OpenWithList\\player.exe"] = "key";
    expected["HKCR\\.mp3\\OpenWithList\\player.exe:@"] = "sz:";
    expected["HKCR\\.wma:Content Type"] = "sz:audio/x-ms-wma";
    for (const ReplacedHandler& row : replaced) {
        expected["HKCR\\" + row.key] = "key";
        expected["HKCR\\" + row.key + ":@"] = "sz:" + row.handler;
    }
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);

    // Unregistering again finds the other product's handler and keeps it.
    ASSERT_EQ(module->unregisterServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);
}

TEST_F(ModuleRegistrationTest, UnregistrationLeavesOnlyTheSharedKeys)
{
    ASSERT_EQ(module->registerServer(), S_OK);
    ASSERT_EQ(module->unregisterServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), ExpectedAfterUnregistration());

    // Again, with everything already gone, and on an empty registry.
    EXPECT_EQ(module->unregisterServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), ExpectedAfterUnregistration());
    PlatformRegistry_Reset();
    EXPECT_EQ(module->unregisterServer(), S_OK);
}

TEST_F(ModuleRegistrationTest, UnregistrationAnswersSuccessWhenEverythingFails)
{
    ASSERT_EQ(module->registerServer(), S_OK);
    for (const char* function : {"RegOpenKeyExW", "RegDeleteKeyW", "RegDeleteValueW", "RegCreateKeyExW"})
        PlatformSeam_FailRegistryCall(function, ERROR_ACCESS_DENIED, 0, 1000);
    EXPECT_EQ(module->unregisterServer(), S_OK);
    PlatformSeam_ClearRegistryFailures();
}

TEST_F(ModuleRegistrationTest, AFailingScriptStopsRegistrationBeforeTheTypeLibrary)
{
    PlatformSeam_FailRegistryCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, 3, 1000);
    EXPECT_EQ(module->registerServer(), DISP_E_EXCEPTION);
    PlatformSeam_ClearRegistryFailures();
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.count("HKCR\\TypeLib"), 0u) << "the type library is not registered";
    EXPECT_EQ(registry.count("HKCR\\CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}\\InprocServer32"), 0u)
        << "the recovery pass removed what the failed block created";
}

TEST_F(ModuleRegistrationTest, AFailedRegistrationLeavesEveryHandlerAsItWas)
{
    // .wma's handler cannot be replaced. .mp3's was replaced before the
    // failure and comes back; .wmv's, with a value of its own, lies past
    // the failure and is not touched.
    const std::string otherHandler = "{00000000-1111-2222-3333-444444444444}";
    for (const char* key : {".mp3\\PersistentHandler", ".wma\\PersistentHandler", ".wmv\\PersistentHandler"})
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, key, "", otherHandler), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, ".wmv\\PersistentHandler", "Theirs", "kept"), ERROR_SUCCESS);
    ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, u".wma\\PersistentHandler", TRUE), ERROR_SUCCESS);
    const RegistryMap before = Snapshot(HKEY_CLASSES_ROOT);

    EXPECT_EQ(module->registerServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.count("HKCR\\CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"), 0u)
        << "the recovery pass removed the class";
    EXPECT_EQ(registry.count("HKCR\\TypeLib"), 0u) << "the type library is not registered";
    RegistryMap expected = before;
    expected["HKCR\\CLSID"] = "key";  // made by the registration, and kept (NoRemove)
    EXPECT_EQ(registry, expected);
}

TEST_F(ModuleRegistrationTest, AModuleThatCannotFindItsOwnHandleRefusesEveryCall)
{
    const std::filesystem::path copy = std::filesystem::path(TRELLAN_TEST_TEMP_DIR) / "unattached" / "trellan.so";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(module->path, copy, std::filesystem::copy_options::overwrite_existing);

    ModulePath().failHandleFromAddress = true;
    LoadedModule unattached(copy.string());
    ModulePath() = {};
    ASSERT_TRUE(unattached.Loaded());
    EXPECT_EQ(unattached.registerServer(), HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(unattached.unregisterServer(), HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED));
    EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT).empty()) << "nothing names the test program as the server";
}

TEST_F(ModuleRegistrationTest, APathWithASingleQuoteIsRegisteredIntact)
{
    const std::filesystem::path directory = std::filesystem::path(TRELLAN_TEST_TEMP_DIR) / "it's a ''quoted'' dir";
    std::filesystem::create_directories(directory);
    const std::filesystem::path copy = directory / "trellan.so";
    std::filesystem::copy_file(module->path, copy, std::filesystem::copy_options::overwrite_existing);

    LoadedModule quoted(copy.string());
    ASSERT_TRUE(quoted.Loaded());
    ASSERT_EQ(quoted.registerServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), ExpectedRegistration(copy.string()));
    ASSERT_EQ(quoted.unregisterServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), ExpectedAfterUnregistration());
}

}  // namespace
}  // namespace trellan::test
