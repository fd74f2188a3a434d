// The registry's rules for keys: names, paths, roots, access, read-only
// keys, deleted keys.
#include "support/registry_fixture.h"

#include <functional>

namespace trellan::test {
namespace {

class KeyRulesTest : public MemoryRegistryTest {
protected:
    void SetUp() override
    {
        MemoryRegistryTest::SetUp();
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Trellan\\Parent\\Child", "Name", "text"), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\Trellan\\Empty"), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\Trellan\\Locked\\Inner"), ERROR_SUCCESS);
        ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", TRUE),
                  ERROR_SUCCESS);
        // HKEY_CLASSES_ROOT's two sides: a user's key and the machine's.
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Classes\\.mp3\\OpenWithProgids", "player", ""),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Classes\\.mp3\\PersistentHandler", "", "machine"),
                  ERROR_SUCCESS);
    }
};

LONG Open(HKEY root, const char16_t* path, REGSAM access)
{
    Key key;
    return RegOpenKeyExW(root, path, 0, access, key.Receive());
}

LONG Create(HKEY root, const char16_t* path, REGSAM access = KEY_ALL_ACCESS)
{
    Key key;
    return RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, key.Receive(), nullptr);
}

// Creates `path` through HKEY_CLASSES_ROOT, then opens it in `side`'s
// classes.
LONG CreateInClasses(const char16_t* path, HKEY side)
{
    if (LONG result = Create(HKEY_CLASSES_ROOT, path))
        return result;
    return Open(side, (u"Software\\Classes\\" + std::u16string(path)).c_str(), KEY_READ);
}

// Runs `call` on a key opened from `path` with `access`.
LONG WithKey(const char16_t* path, REGSAM access, const std::function<LONG(HKEY)>& call)
{
    Key key;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, access, key.Receive());
    if (result != ERROR_SUCCESS)
        return result;
    return call(key.Get());
}

LONG SetDword(HKEY key, const char16_t* name)
{
    DWORD value = 42;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

struct KeyCase {
    const char* what;
    std::function<LONG()> call;
    LONG expected;
};

TEST_F(KeyRulesTest, EveryRuleAnswersThePlatformsCode)
{
    const std::u16string longName(256, u'x');
    const std::u16string longestName(255, u'y');
    const KeyCase cases[] = {
        {"open with other letter case", [] { return Open(HKEY_CURRENT_USER, u"SOFTWARE\\trellan\\PARENT", KEY_READ); },
         ERROR_SUCCESS},
        {"open several levels", [] { return Open(HKEY_CURRENT_USER, u"Software\\Trellan\\Parent\\Child", KEY_READ); },
         ERROR_SUCCESS},
        {"open with a trailing backslash", [] { return Open(HKEY_CURRENT_USER, u"Software\\Trellan\\", KEY_READ); },
         ERROR_SUCCESS},
        {"open a missing key", [] { return Open(HKEY_CURRENT_USER, u"Software\\Missing", KEY_READ); },
         ERROR_FILE_NOT_FOUND},
        {"open a leading backslash", [] { return Open(HKEY_CURRENT_USER, u"\\Software", KEY_READ); },
         ERROR_BAD_PATHNAME},
        {"open a doubled backslash", [] { return Open(HKEY_CURRENT_USER, u"Software\\\\Trellan", KEY_READ); },
         ERROR_BAD_PATHNAME},
        {"open the root itself", [] { return Open(HKEY_LOCAL_MACHINE, nullptr, KEY_READ); }, ERROR_SUCCESS},
        {"open an invalid handle", [] { return Open(reinterpret_cast<HKEY>(0x4), u"x", KEY_READ); },
         ERROR_INVALID_HANDLE},
        {"create a name of 256 units", [&] { return Create(HKEY_CURRENT_USER, longName.c_str()); },
         ERROR_INVALID_PARAMETER},
        {"create a name of 255 units", [&] { return Create(HKEY_CURRENT_USER, longestName.c_str()); },
         ERROR_SUCCESS},
        {"create under performance data", [] { return Create(HKEY_PERFORMANCE_DATA, u"Counter"); },
         ERROR_ACCESS_DENIED},
        {"create under dynamic data", [] { return Create(HKEY_DYN_DATA, u"Config"); }, ERROR_ACCESS_DENIED},
        {"open under dynamic data", [] { return Open(HKEY_DYN_DATA, u"Config", KEY_READ); }, ERROR_FILE_NOT_FOUND},
        {"create in every other root",
         [] {
             for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG})
                 if (LONG result = Create(root, u"RootTest"))
                     return result;
             return static_cast<LONG>(ERROR_SUCCESS);
         },
         ERROR_SUCCESS},
        {"delete a key with subkeys", [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Trellan\\Parent"); },
         ERROR_ACCESS_DENIED},
        {"delete a missing key", [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Trellan\\Nothing"); },
         ERROR_FILE_NOT_FOUND},
        {"delete a root", [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u""); }, ERROR_ACCESS_DENIED},
        {"delete an empty key with other letter case",
         [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"software\\TRELLAN\\empty"); }, ERROR_SUCCESS},
        {"write through a read handle",
         [] { return WithKey(u"Software\\Trellan\\Parent", KEY_READ, [](HKEY key) { return SetDword(key, u"v"); }); },
         ERROR_ACCESS_DENIED},
        {"delete a value through a read handle",
         [] {
             return WithKey(u"Software\\Trellan\\Parent\\Child", KEY_READ,
                            [](HKEY key) { return RegDeleteValueW(key, u"Name"); });
         },
         ERROR_ACCESS_DENIED},
        {"create under a read handle",
         [] {
             return WithKey(u"Software\\Trellan\\Parent", KEY_READ, [](HKEY key) { return Create(key, u"New"); });
         },
         ERROR_ACCESS_DENIED},
        {"open an existing subkey through a read handle for writing",
         [] {
             return WithKey(u"Software\\Trellan\\Parent", KEY_READ, [](HKEY key) { return Create(key, u"Child"); });
         },
         ERROR_SUCCESS},
        {"write through a write handle",
         [] { return WithKey(u"Software\\Trellan\\Parent", KEY_WRITE, [](HKEY key) { return SetDword(key, u"v"); }); },
         ERROR_SUCCESS},
        {"read-only key opened for reading", [] { return Open(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", KEY_READ); },
         ERROR_SUCCESS},
        {"read-only key opened for all access",
         [] { return Open(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", KEY_ALL_ACCESS); }, ERROR_ACCESS_DENIED},
        {"read-only key opened for writing",
         [] { return Open(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", KEY_WRITE); }, ERROR_ACCESS_DENIED},
        {"read-only key created for all access", [] { return Create(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked"); },
         ERROR_ACCESS_DENIED},
        {"read-only key created for reading",
         [] { return Create(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", KEY_READ); }, ERROR_SUCCESS},
        {"new subkey under a read-only key",
         [] { return Create(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked\\New"); }, ERROR_ACCESS_DENIED},
        {"existing subkey of a read-only key stays writable",
         [] { return Create(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked\\Inner"); }, ERROR_SUCCESS},
        {"delete a read-only key", [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked"); },
         ERROR_ACCESS_DENIED},
        {"close a predefined root", [] { return RegCloseKey(HKEY_CLASSES_ROOT); }, ERROR_SUCCESS},
        {"classes root reads the user's key", [] { return Open(HKEY_CLASSES_ROOT, u".mp3\\OpenWithProgids", KEY_READ); },
         ERROR_SUCCESS},
        {"classes root reads the machine's key below a user's key",
         [] { return Open(HKEY_CLASSES_ROOT, u".MP3\\PersistentHandler", KEY_READ); }, ERROR_SUCCESS},
        {"classes root creates under the user's key where it exists",
         [] { return CreateInClasses(u".mp3\\UserSide", HKEY_CURRENT_USER); }, ERROR_SUCCESS},
        {"classes root creates in the machine's classes elsewhere",
         [] { return CreateInClasses(u".wma\\MachineSide", HKEY_LOCAL_MACHINE); }, ERROR_SUCCESS},
        {"classes root creates below the machine's deeper key",
         [] { return CreateInClasses(u".mp3\\PersistentHandler\\Below", HKEY_LOCAL_MACHINE); }, ERROR_SUCCESS},
        {"classes root's own key cannot be deleted", [] { return RegDeleteKeyW(HKEY_CLASSES_ROOT, u""); },
         ERROR_ACCESS_DENIED},
        {"close a handle that was never open", [] { return RegCloseKey(reinterpret_cast<HKEY>(0x1234)); },
         ERROR_INVALID_HANDLE},
    };
    for (const KeyCase& row : cases)
        EXPECT_EQ(row.call(), row.expected) << row.what;
}

TEST_F(KeyRulesTest, CreateReportsItsDispositionAndMakesEveryLevel)
{
    DWORD disposition = 0;
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "A\\B\\C", &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "A\\B"));
    ASSERT_EQ(CreateKey(HKEY_LOCAL_MACHINE, "a\\b\\c", &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    // The name keeps the letter case it was created with.
    Key root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, KEY_READ, root.Receive()), ERROR_SUCCESS);
    WCHAR name[16];
    DWORD units = 16;
    ASSERT_EQ(RegEnumKeyExW(root.Get(), 0, name, &units, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, units), u"B");
}

TEST_F(KeyRulesTest, HandleToADeletedKeyAnswersKeyDeleted)
{
    Key key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Trellan\\Empty", 0, KEY_ALL_ACCESS, key.Receive()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Trellan\\Empty"), ERROR_SUCCESS);

    DWORD count = 0;
    WCHAR name[8];
    DWORD units = 8;
    Key child;
    const KeyCase cases[] = {
        {"write a value", [&] { return SetDword(key.Get(), u"v"); }, ERROR_KEY_DELETED},
        {"read a value", [&] { return RegQueryValueExW(key.Get(), u"v", nullptr, nullptr, nullptr, nullptr); },
         ERROR_KEY_DELETED},
        {"query the key",
         [&] {
             return RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
         },
         ERROR_KEY_DELETED},
        {"enumerate", [&] { return RegEnumKeyExW(key.Get(), 0, name, &units, nullptr, nullptr, nullptr, nullptr); },
         ERROR_KEY_DELETED},
        {"create a subkey", [&] { return Create(key.Get(), u"Sub"); }, ERROR_KEY_DELETED},
        {"open a subkey", [&] { return Open(key.Get(), u"Sub", KEY_READ); }, ERROR_KEY_DELETED},
        {"a key of the same name made again does not revive the handle",
         [&] {
             CreateKey(HKEY_CURRENT_USER, "Software\\Trellan\\Empty");
             return SetDword(key.Get(), u"v");
         },
         ERROR_KEY_DELETED},
        {"close", [&] { return key.Close(); }, ERROR_SUCCESS},
    };
    for (const KeyCase& row : cases)
        EXPECT_EQ(row.call(), row.expected) << row.what;
}

TEST_F(KeyRulesTest, ReadOnlyMarkCanBeLifted)
{
    ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", FALSE), ERROR_SUCCESS);
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Trellan\\Locked", KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CURRENT_USER, u"Software\\Nothing", TRUE), ERROR_FILE_NOT_FOUND);
}

TEST_F(KeyRulesTest, KeysNestAtMost512LevelsBelowTheirRoot)
{
    std::u16string path = u"Deep";
    for (int level = 2; level <= 512; ++level)
        path += u"\\k";
    EXPECT_EQ(Create(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    path += u"\\k";
    EXPECT_EQ(Create(HKEY_CURRENT_USER, path.c_str()), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace trellan::test
