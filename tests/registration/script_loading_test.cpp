// Loading a registry script from a library file's resources and running it:
// the NUL rules, the errors of the data-file load, the recovery pass.
#include "script/script_fixture.h"
#include "script_resource.h"
#include "support/resource_image.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

class ScriptLoadingTest : public ScriptTest {
protected:
    // A library file whose REGISTRY resource 101 holds `script` (bytes as
    // given, no NUL added), plus any extra resources.
    std::string LibraryWithScript(const std::string& name, const std::string& script,
                                  std::vector<ResourceEntry> extra = {})
    {
        extra.push_back({u"REGISTRY", uint16_t(101), Bytes(script)});
        const std::string path = std::string(TRELLAN_TEST_TEMP_DIR) + "/" + name;
        WriteBinaryFile(path, BuildElfWithResources(BuildResourceFile(extra)));
        return path;
    }

    HRESULT Load(const std::string& path, bool registerMode, WORD id = 101, const char16_t* type = u"REGISTRY")
    {
        const std::u16string widePath = Utf16(path);
        return LoadAndRunScript(map, widePath.c_str(), id, type, registerMode);
    }

    ReplacementMap map;
};

TEST_F(ScriptLoadingTest, TheWholeResourceIsReadWhenItHasNoNul)
{
    const std::string path = LibraryWithScript("no-nul.so", "HKCR\r\n{\r\n\tKeyWithoutNul = s 'end'\r\n}");
    EXPECT_EQ(Load(path, true), S_OK);
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry["HKCR\\KeyWithoutNul:@"], "sz:end");
}

TEST_F(ScriptLoadingTest, AnEmbeddedNulEndsTheScript)
{
    const std::string path =
        LibraryWithScript("embedded-nul.so", std::string("HKCR { Before }\0HKCR { After }", 30));
    EXPECT_EQ(Load(path, true), S_OK);
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.count("HKCR\\Before"), 1u);
    EXPECT_EQ(registry.count("HKCR\\After"), 0u);
}

TEST_F(ScriptLoadingTest, AnEmptyScriptRegistersNothing)
{
    const std::string path = LibraryWithScript("empty.so", "");
    EXPECT_EQ(Load(path, true), S_OK);
    EXPECT_EQ(Load(path, false), S_OK);
    EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT).empty());
}

TEST_F(ScriptLoadingTest, ReplacementsReachTheScript)
{
    map.Add(u"Module", u"/opt/it''s here/trellan.so");
    map.Add(u"Extra", u"50%");
    const std::string path =
        LibraryWithScript("replaced.so", "HKCR { Server = s '%MODULE%' { val Share = s '%extra%' } }");
    EXPECT_EQ(Load(path, true), S_OK);
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry["HKCR\\Server:@"], "sz:/opt/it's here/trellan.so");
    EXPECT_EQ(registry["HKCR\\Server:Share"], "sz:50%");
}

TEST_F(ScriptLoadingTest, LoadFailuresAreWin32ErrorsAndRunNothing)
{
    const std::string path = LibraryWithScript("other-id.so", "HKCR { Never }");
    struct Case {
        const char* what;
        std::string file;
        WORD id;
        const char16_t* type;
        HRESULT expected;
    };
    const Case cases[] = {
        {"missing file", std::string(TRELLAN_TEST_TEMP_DIR) + "/missing.so", 101, u"REGISTRY",
         HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"missing id", path, 102, u"REGISTRY", HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)},
        {"missing type", path, 101, u"SCRIPT", HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.file, true, c.id, c.type), c.expected) << c.what;
    }
    // A file that is not a library at all.
    const std::string text = std::string(TRELLAN_TEST_TEMP_DIR) + "/not-a-library.so";
    WriteBinaryFile(text, Bytes("just text"));
    HRESULT result = Load(text, true);
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(HRESULT_FACILITY(result), FACILITY_WIN32);
    EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT).empty());
}

TEST_F(ScriptLoadingTest, AFailingSecondBlockIsRecoveredAndTheFirstStays)
{
    const std::string path = LibraryWithScript(
        "second-fails.so",
        "HKCR { First = s '1' }\r\n"
        "HKCR { Second { Inner = s '2' { val Named = s 'n' } } Broken\\Name }\r\n"
        "HKCR { Third }\r\n");
    EXPECT_EQ(Load(path, true), DISP_E_EXCEPTION);
    RegistryMap registry = Snapshot(HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry["HKCR\\First:@"], "sz:1");
    EXPECT_EQ(registry.count("HKCR\\Second"), 0u) << "the recovery pass removed what the failed block created";
    EXPECT_EQ(registry.count("HKCR\\Second\\Inner"), 0u);
    EXPECT_EQ(registry.count("HKCR\\Third"), 0u) << "the run ends at the failure";
}

}  // namespace
}  // namespace trellan::test
