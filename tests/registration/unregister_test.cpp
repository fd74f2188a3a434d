// Unregister mode: which keys go, "NoRemove", skip mode, scripts whose keys
// are already gone, and register-then-unregister round trips.
#include "filter_script.h"
#include "support/script_fixture.h"

#include <win32/seams.h>

namespace trellan::test {
namespace {

using UnregisterTest = ScriptTest;

void Add(RegistryMap& map, const std::string& path, const std::string& valueName = "", const std::string& text = "")
{
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, path, valueName, text), ERROR_SUCCESS);
    map["HKCR\\" + path] = "key";
    map["HKCR\\" + path + ":" + (valueName.empty() ? "@" : valueName)] = "sz:" + text;
}

TEST_F(UnregisterTest, RemovalRules)
{
    RegistryMap kept;
    RegistryMap unused;
    Add(unused, "DefaultOnly", "", "x");
    Add(unused, "Unlisted", "Named", "1");
    Add(kept, "KeepsChild\\Child", "", "unlisted subkey");
    kept["HKCR\\KeepsChild"] = "key";
    Add(unused, "Listed", "V", "1");
    Add(unused, "Listed\\Sub", "", "x");
    Add(kept, "Protected", "", "p");
    Add(kept, "AfterProtected", "", "a");
    Add(kept, "Outer\\NoRemove", "", "protected by its own keyword");
    kept["HKCR\\Outer"] = "key";
    // "Val" values go from keys that stay: a NoRemove key, a key that keeps
    // another product's subkey, a key that opens only for reading (they stay
    // there).
    Add(unused, "Marked", "V", "listed");
    kept["HKCR\\Marked"] = "key";
    Add(unused, "Shares", "V", "listed");
    Add(kept, "Shares", "W", "not listed");
    Add(kept, "Shares\\Foreign", "", "f");
    Add(kept, "Locked", "V", "read-only");
    Add(kept, "Locked\\Foreign", "", "f");
    ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, u"Locked", TRUE), ERROR_SUCCESS);

    const std::string script =
        "HKCR {\n"
        "  DefaultOnly = s 'x'\n"
        "  Unlisted { val Other = s 'y' }\n"
        "  KeepsChild\n"
        "  Listed { val V = s 1  Sub = s x }\n"
        "  Outer { NoRemove NoRemove }\n"
        "  Shares { val V = s 1 }\n"
        "  Locked { val V = s 1 }\n"
        "  NoRemove Protected { }\n"
        "  Marked { val V = s 1 }\n"
        "  AfterProtected\n"
        "}\n";
    ASSERT_EQ(StatusText(RunScript(script, false)), "S_OK");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), kept);
}

struct SkipCase {
    const char* what;
    const char* script;
    std::vector<std::string> removed;  // of Present, Next, Later, and the root's value X
};

TEST_F(UnregisterTest, SkipModeAfterAMissingKey)
{
    const SkipCase cases[] = {
        {"missing key with a block: the next sibling is tried again", "HKCR { Missing { Present } Next }", {"Next"}},
        {"missing key without a block: no later sibling is touched", "HKCR { Missing Next Later }", {}},
        {"missing key without a block: values are not deleted", "HKCR { Missing val X = s 1 Next }", {}},
        {"missing key with an assignment and a block", "HKCR { Missing = s v { Next } Later }", {"Later"}},
        {"after the skipped sibling with a block, skip ends", "HKCR { Missing Next { } Later }", {"Later"}},
        {"nothing missing", "HKCR { val X = s 1 Next Later }", {"X", "Next", "Later"}},
    };
    for (const SkipCase& row : cases) {
        SetUp();
        RegistryMap before;
        Add(before, "Present", "", "p");
        Add(before, "Next", "", "n");
        Add(before, "Later", "", "l");
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "", "X", "root value"), ERROR_SUCCESS);
        before["HKCR:X"] = "sz:root value";
        RegistryMap expected = before;
        for (const std::string& name : row.removed) {
            if (name == "X") {
                expected.erase("HKCR:X");
            } else {
                expected.erase("HKCR\\" + name);
                expected.erase("HKCR\\" + name + ":@");
            }
        }
        EXPECT_EQ(RunScript(row.script, false), S_OK) << row.what;
        EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected) << row.what;
        TearDown();
    }
}

TEST_F(UnregisterTest, KeysAlreadyGoneStillReadToTheEnd)
{
    EXPECT_EQ(RunScript(FilterScript("/opt/trellan/trellan.so"), false), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), RegistryMap());
    // A malformed item late in the text is still found.
    EXPECT_EQ(RunScript("HKCR { Missing { A { B } } Bad = q x }", false), S_OK);  // type not checked on skip
    EXPECT_EQ(RunScript("HKCR { Missing { A { B } } Bad = s", false), DISP_E_EXCEPTION);
    EXPECT_EQ(RunScript("HKCR { Missing } HKXX { }", false), DISP_E_EXCEPTION);
}

TEST_F(UnregisterTest, FailedCloseBeforeADeleteEndsTheRun)
{
    ASSERT_EQ(CreateKey(HKEY_CLASSES_ROOT, "A"), ERROR_SUCCESS);
    PlatformSeam_FailRegistryCall("RegCloseKey", ERROR_INVALID_HANDLE, 0, 1);
    EXPECT_EQ(RunScript("HKCR { A }", false), DISP_E_EXCEPTION);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "A"));
}

TEST_F(UnregisterTest, KeyKeepingSubkeysLosesOnlyASubkeyOfItsOwnName)
{
    RegistryMap kept;
    Add(kept, "Holder\\Other", "", "o");
    kept["HKCR\\Holder"] = "key";
    RegistryMap unused;
    Add(unused, "Holder\\Holder\\Deep", "", "same name as its parent");
    Add(kept, "CLSID\\CLSID\\Deep", "", "reserved");
    kept["HKCR\\CLSID"] = "key";
    kept["HKCR\\CLSID\\CLSID"] = "key";
    Add(kept, "Guarded\\Guarded", "", "NoRemove");
    kept["HKCR\\Guarded"] = "key";
    // Nothing at any depth below CLSID or TYPELIB.
    Add(kept, "CLSID\\{5469E55E}\\{5469E55E}\\Deep", "", "another product");
    kept["HKCR\\CLSID\\{5469E55E}"] = "key";
    kept["HKCR\\CLSID\\{5469E55E}\\{5469E55E}"] = "key";
    Add(kept, "Outer\\TypeLib\\Lib\\Sub\\Sub\\Deep", "", "another product");
    for (const char* key : {"Outer", "Outer\\TypeLib", "Outer\\TypeLib\\Lib", "Outer\\TypeLib\\Lib\\Sub",
                            "Outer\\TypeLib\\Lib\\Sub\\Sub"})
        kept[std::string("HKCR\\") + key] = "key";

    EXPECT_EQ(RunScript("HKCR { Holder CLSID { {5469E55E} } Outer { TypeLib { Lib { Sub } } } NoRemove Guarded }",
                        false),
              S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), kept);
}

TEST_F(UnregisterTest, FilterScriptRoundTripRestoresTheRegistryApartFromNoRemoveKeys)
{
    RegistryMap before;
    Add(before, ".mp3\\OpenWithList\\player", "", "another product");
    before["HKCR\\.mp3"] = "key";
    before["HKCR\\.mp3\\OpenWithList"] = "key";
    Add(before, ".wma", "Content Type", "audio/x-ms-wma");
    Add(before, "CLSID\\{00000000-1111-2222-3333-444444444444}", "", "someone else");
    before["HKCR\\CLSID"] = "key";
    Add(before, ".asf\\PersistentHandler", "", "{00000000-0000-0000-0000-000000000001}");
    before["HKCR\\.asf"] = "key";

    const std::string module = "/opt/it's here/trellan.so";
    ASSERT_EQ(RunScript(FilterScript("/opt/it''s here/trellan.so"), true), S_OK);

    const std::string filter = "HKCR\\CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}";
    const std::string handler = "HKCR\\CLSID\\{841BB775-EF27-4f3e-8522-D09327C5A8EA}";
    const std::string handlerId = "sz:{841BB775-EF27-4f3e-8522-D09327C5A8EA}";
    RegistryMap registered = before;
    registered.insert({
        {filter, "key"},
        {filter + ":@", "sz:Veltrane IFilter"},
        {filter + "\\InprocServer32", "key"},
        {filter + "\\InprocServer32:@", "sz:" + module},
        {filter + "\\InprocServer32:ThreadingModel", "sz:Both"},
        {filter + "\\TypeLib", "key"},
        {filter + "\\TypeLib:@", "sz:{26FF8391-CEFA-44AC-AB73-8B4158F16429}"},
        {handler, "key"},
        {handler + ":@", "sz:Veltrane Persistent Handler"},
        {handler + "\\PersistentAddinsRegistered", "key"},
        {handler + "\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}", "key"},
        {handler + "\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}:@",
         "sz:{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"},
        {"HKCR\\.mp3\\PersistentHandler", "key"},
        {"HKCR\\.wma\\PersistentHandler", "key"},
        {"HKCR\\.wmv", "key"},
        {"HKCR\\.wmv\\PersistentHandler", "key"},
    });
    for (const char* extension : {".mp3", ".wma", ".wmv", ".asf"})
        registered[std::string("HKCR\\") + extension + "\\PersistentHandler:@"] = handlerId;
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), registered);

    ASSERT_EQ(RunScript(FilterScript("/opt/it''s here/trellan.so"), false), S_OK);
    RegistryMap after = before;
    // The NoRemove keys that registration had to create stay; the handler
    // that another product had set on .asf went with registration.
    after["HKCR\\.wmv"] = "key";
    after.erase("HKCR\\.asf\\PersistentHandler");
    after.erase("HKCR\\.asf\\PersistentHandler:@");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), after);
}

TEST_F(UnregisterTest, RecoveryPassRemovesWhatAFailedBlockCreated)
{
    // Another product's keys after the failing item: the failed pass never
    // reached them, so the recovery pass leaves them as they are.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Later", "Theirs", "kept"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Last\\Inner", "", "kept too"), ERROR_SUCCESS);
    const std::string bad = "HKCR { NoRemove CLSID { ForceRemove {X} = s 'x' { InprocServer32 = s 'p' "
                            "{ val ThreadingModel = s 'Both' } Broken = b 1 } } Later = s 'ours' "
                            "Last { Inner = s 'ours' { val V = s 'ours' } } }";
    EXPECT_EQ(RunScript(bad, true), E_FAIL);
    RegistryMap expected = {
        {"HKCR\\CLSID", "key"},  // NoRemove keeps it
        {"HKCR\\Later", "key"},
        {"HKCR\\Later:Theirs", "sz:kept"},
        {"HKCR\\Last", "key"},
        {"HKCR\\Last\\Inner", "key"},
        {"HKCR\\Last\\Inner:@", "sz:kept too"},
    };
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);
}

}  // namespace
}  // namespace trellan::test
