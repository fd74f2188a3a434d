// Loading a registry script from a library file's resources and running it:
// the NUL rules, the errors of the data-file load, the recovery pass, and
// the choice of the path that becomes "Module".
#include "registration/module_path_double.h"
#include "support/script_fixture.h"
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

    void TearDown() override
    {
        ModulePath() = {};
        ScriptTest::TearDown();
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

TEST_F(ScriptLoadingTest, RunScriptResourceRegistersTheChosenPath)
{
    const std::string script = "HKCR { Chosen = s '%MODULE%' { val Extra = s '%Extra%' } }";
    const std::string longPath = LibraryWithScript("long-form.so", script, {{u"REGISTRY", uint16_t(102),
                                                                           Bytes("HKCR { Late = s '%After%' }")}});
    const std::string shortPath = LibraryWithScript("short.so", script);
    const ScriptReplacement extra[] = {
        {OLESTR("Extra"), OLESTR("x")}, {OLESTR("MODULE"), OLESTR("never used")}, {nullptr, nullptr},
        {OLESTR("After"), OLESTR("past the end")},
    };
    const HINSTANCE processImage = nullptr;  // a null instance stands for the process image
    const HINSTANCE loadedLibrary = reinterpret_cast<HINSTANCE>(0x1000);

    struct Case {
        const char* what;
        HINSTANCE module;
        std::u16string longForm;
        DWORD shortResult;
        HRESULT expected;
        std::string registered;  // the path written, empty when nothing is
        int shortCalls;
    };
    const std::u16string longForm = Utf16(longPath);
    const DWORD shortLength = static_cast<DWORD>(shortPath.size());
    const Case cases[] = {
        {"a usable short form", processImage, longForm, shortLength, S_OK, shortPath, 1},
        {"no short form", processImage, longForm, 0, S_OK, longPath, 1},
        {"87 is taken for an error", processImage, longForm, 87, S_OK, longPath, 1},
        {"short form of 260", processImage, longForm, 260, E_OUTOFMEMORY, "", 1},
        {"short form over 260", processImage, longForm, 400, E_OUTOFMEMORY, "", 1},
        {"a library in a host: long form only", loadedLibrary, longForm, shortLength, S_OK, longPath, 0},
        {"a long form cut at 260 units", loadedLibrary, std::u16string(260, u'x'), 0,
         HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), "", 0},
    };
    for (const Case& c : cases) {
        SetUp();
        ModulePath() = {true, c.longForm, 0, c.shortResult, Utf16(shortPath)};
        EXPECT_EQ(RunScriptResource(c.module, 101, TRUE, extra), c.expected) << c.what;
        EXPECT_EQ(ModulePath().shortCalls, c.shortCalls) << c.what;
        RegistryMap expected;
        if (!c.registered.empty())
            expected = {{"HKCR\\Chosen", "key"}, {"HKCR\\Chosen:@", "sz:" + c.registered},
                        {"HKCR\\Chosen:Extra", "sz:x"}};
        EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected) << c.what;
        TearDown();
    }

    // Rows after the first null name are not added; a path that cannot be
    // had is the last error.
    ModulePath() = {};
    ModulePath().active = true;
    ModulePath().longPath = longForm;
    EXPECT_EQ(RunScriptResource(loadedLibrary, 102, TRUE, extra), DISP_E_EXCEPTION);
    ModulePath().longError = ERROR_MOD_NOT_FOUND;
    EXPECT_EQ(RunScriptResource(loadedLibrary, 101, TRUE, extra), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT).empty());
}

}  // namespace
}  // namespace trellan::test
