// Register mode: every item kind, values of each type, nested blocks, keys
// that open only for reading, and the failures that end a run.
#include "support/script_fixture.h"

#include <win32/seams.h>

namespace trellan::test {
namespace {

using RegisterTest = ScriptTest;

TEST_F(RegisterTest, EveryItemKindWritesWhatItSays)
{
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Old\\Stale\\Deep", "Name", "old"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Gone\\Sub", "", "gone"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "CLSID\\Existing", "", "other product"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}\\Leftover", "", "old build"),
              ERROR_SUCCESS);

    const std::string script =
        "HKCR\n"
        "{\n"
        "  NoRemove CLSID\n"
        "  {\n"
        "    ForceRemove {5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D} = s 'Veltrane IFilter'\n"
        "    {\n"
        "      InprocServer32 = s 'C:\\path\\it''s.dll' { val ThreadingModel = s 'Both' }\n"
        "      'TypeLib' = s '{26FF8391-CEFA-44AC-AB73-8B4158F16429}'\n"
        "    }\n"
        "  }\n"
        "  ForceRemove Old = s 'fresh'\n"
        "  Delete Gone = s 'ignored'\n"
        "  Numbers\n"
        "  {\n"
        "    val Count = d 255\n"
        "    val Blob = b 0a1B\n"
        "    val Empty = b ''\n"
        "    val Zero = b 0G\n"
        "    val Text = s ''\n"
        "    val 'it''s' = S 'quoted name'\n"
        "  }\n"
        "  ForceRemove CLSID\n"
        "  Key=s\n"
        "}\n";
    ASSERT_EQ(StatusText(RunScript(script, true)), "S_OK");

    const std::string filter = "HKCR\\CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}";
    const RegistryMap expected = {
        {"HKCR\\CLSID", "key"},
        {"HKCR\\CLSID\\Existing", "key"},
        {"HKCR\\CLSID\\Existing:@", "sz:other product"},
        {filter, "key"},
        {filter + ":@", "sz:Veltrane IFilter"},
        {filter + "\\InprocServer32", "key"},
        {filter + "\\InprocServer32:@", "sz:C:\\path\\it's.dll"},
        {filter + "\\InprocServer32:ThreadingModel", "sz:Both"},
        {filter + "\\TypeLib", "key"},
        {filter + "\\TypeLib:@", "sz:{26FF8391-CEFA-44AC-AB73-8B4158F16429}"},
        {"HKCR\\Old", "key"},
        {"HKCR\\Old:@", "sz:fresh"},
        {"HKCR\\Numbers", "key"},
        {"HKCR\\Numbers:Count", "dword:255"},
        {"HKCR\\Numbers:Blob", "binary:0a1b"},
        {"HKCR\\Numbers:Empty", "binary:"},
        {"HKCR\\Numbers:Zero", "binary:00"},
        {"HKCR\\Numbers:Text", "sz:"},
        {"HKCR\\Numbers:it's", "sz:quoted name"},
        {"HKCR\\Key=s", "key"},
    };
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);
}

TEST_F(RegisterTest, RegisteringTwiceLeavesTheSameKeysAndValues)
{
    const std::string script = "HKLM { NoRemove Software { ForceRemove Trellan = s 'v' { Sub { val N = d 1 } } "
                               "Shared = s 'x' { val Old = s 'kept' } } }";
    ASSERT_EQ(RunScript(script, true), S_OK);
    RegistryMap first = Snapshot(HKEY_LOCAL_MACHINE, "HKLM");
    ASSERT_EQ(RunScript(script, true), S_OK);
    EXPECT_EQ(Snapshot(HKEY_LOCAL_MACHINE, "HKLM"), first);
    EXPECT_EQ(first.count("HKLM\\Software\\Trellan\\Sub:N"), 1u);
}

TEST_F(RegisterTest, KeyThatOpensOnlyForReadingIsUsedAsOpened)
{
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Locked\\Inner", "", "before"), ERROR_SUCCESS);
    ASSERT_EQ(PlatformRegistry_SetKeyReadOnly(HKEY_CLASSES_ROOT, u"Locked", TRUE), ERROR_SUCCESS);

    // Its existing subkey is writable.
    EXPECT_EQ(RunScript("HKCR { Locked { Inner = s 'after' } }", true), S_OK);
    RegistryMap expected = {
        {"HKCR\\Locked", "key"},
        {"HKCR\\Locked\\Inner", "key"},
        {"HKCR\\Locked\\Inner:@", "sz:after"},
    };
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);

    // Its own value cannot be written: the item fails with the registry's
    // error, and the recovery pass leaves its block, which the failed pass
    // never reached (and cannot remove the read-only key).
    EXPECT_EQ(RunScript("HKCR { Locked = s 'new' { Inner = s 'again' } }", true),
              HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Locked\\Inner"), ERROR_SUCCESS);

    // A new subkey cannot be created under it: the run fails, and the
    // recovery pass leaves the read-only key alone.
    EXPECT_EQ(RunScript("HKCR { Locked { New } }", true), DISP_E_EXCEPTION);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), (RegistryMap{{"HKCR\\Locked", "key"}}));
}

struct FailureCase {
    const char* what;
    std::string script;
    HRESULT result;
    RegistryMap remaining;  // what the run and its recovery pass leave
};

TEST_F(RegisterTest, MalformedScriptsFailAndTheRecoveryPassUndoesTheBlock)
{
    const RegistryMap nothing;
    const FailureCase cases[] = {
        {"odd number of hex digits", "HKCR { A = b 123 }", E_FAIL, nothing},
        {"number VarUI4FromStr refuses", "HKCR { A { val N = d many } }", DISP_E_EXCEPTION, nothing},
        {"negative number", "HKCR { A = d -1 }", DISP_E_EXCEPTION, nothing},
        {"unknown type letter", "HKCR { A = x 1 }", DISP_E_EXCEPTION, nothing},
        {"backslash in a key name", "HKCR { A\\B }", DISP_E_EXCEPTION, nothing},
        {"backslash after ForceRemove", "HKCR { ForceRemove A\\B }", DISP_E_EXCEPTION, nothing},
        {"backslash after Delete", "HKCR { Delete A\\B }", DISP_E_EXCEPTION, nothing},
        {"empty key name", "HKCR { '' = s x }", DISP_E_EXCEPTION, nothing},
        {"empty name after ForceRemove", "HKCR { ForceRemove '' }", DISP_E_EXCEPTION, nothing},
        {"Val without =", "HKCR { A { val V s 1 } }", DISP_E_EXCEPTION, nothing},
        {"block after Val", "HKCR { A { val V = s 1 { } } }", DISP_E_EXCEPTION, nothing},
        {"block after Delete", "HKCR { Delete A { } }", DISP_E_EXCEPTION, nothing},
        {"missing closing brace", "HKCR { A { B = s x }", DISP_E_EXCEPTION, nothing},
        {"end of text after =", "HKCR { A = s", DISP_E_EXCEPTION, nothing},
        {"end of text in a quote", "HKCR { A = s 'open }", DISP_E_EXCEPTION, nothing},
        {"unknown root key", "HKXX { A }", DISP_E_EXCEPTION, nothing},
        {"root key without a block", "HKCR A { }", DISP_E_EXCEPTION, nothing},
        {"root key alone", "HKCR", DISP_E_EXCEPTION, nothing},
        {"second block fails, first stays", "HKCR { A = s x } HKCU { B = b 1 }", E_FAIL,
         {{"HKCR\\A", "key"}, {"HKCR\\A:@", "sz:x"}}},
        {"failure after a sibling was made", "HKCR { A = s x B = d y }", DISP_E_EXCEPTION, nothing},
    };
    for (const FailureCase& row : cases) {
        SetUp();
        EXPECT_EQ(StatusText(RunScript(row.script, true)), StatusText(row.result)) << row.what;
        RegistryMap after = Snapshot(HKEY_CLASSES_ROOT);
        RegistryMap user = Snapshot(HKEY_CURRENT_USER, "HKCU");
        after.insert(user.begin(), user.end());
        EXPECT_EQ(after, row.remaining) << row.what;
        TearDown();
    }
}

TEST_F(RegisterTest, EmptyTextsAndRootSpellings)
{
    EXPECT_EQ(RunScript("", true), S_OK);
    EXPECT_EQ(RunScript(" \r\n\t", true), S_OK);
    EXPECT_EQ(RunScript("hkcr { A } HKEY_CLASSES_ROOT { B } HKCC { C }\r\n", true), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "A"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "B"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "C"));
    // A root without subkeys cannot take a key.
    EXPECT_EQ(RunScript("HKDD { D }", true), DISP_E_EXCEPTION);
    // The top level accepts any token that begins with "{".
    EXPECT_EQ(RunScript("HKCR {x E }", true), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "E"));
}

TEST_F(RegisterTest, QuotedBraceClosesABlockAndBracedNamesAreKeys)
{
    EXPECT_EQ(RunScript("HKCR { A { B '}' C '}'", true), S_OK);
    // After a key item, a token that only begins with "{" is the next key.
    EXPECT_EQ(RunScript("HKCR { D {5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D} }", true), S_OK);
    RegistryMap expected = {
        {"HKCR\\A", "key"}, {"HKCR\\A\\B", "key"}, {"HKCR\\C", "key"},
        {"HKCR\\D", "key"}, {"HKCR\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}", "key"},
    };
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);

    // The same on unregister: both are siblings, and both go.
    EXPECT_EQ(RunScript("HKCR { D {5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D} }", false), S_OK);
    expected.erase("HKCR\\D");
    expected.erase("HKCR\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), expected);
}

TEST_F(RegisterTest, ValueNamesAndNestingHaveLimits)
{
    const std::string longest(259, 'n');
    EXPECT_EQ(RunScript("HKCR { A { val " + longest + " = s ok } }", true), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT).count("HKCR\\A:" + longest), 1u);
    EXPECT_EQ(RunScript("HKCR { A { val '" + longest + "n' = s no } }", true), DISP_E_EXCEPTION);

    auto nested = [](int depth) {
        std::string text = "HKCR {";
        for (int i = 1; i < depth; ++i)
            text += " k {";
        for (int i = 0; i < depth; ++i)
            text += " }";
        return text;
    };
    EXPECT_EQ(RunScript(nested(kMaxBlockDepth), true), S_OK);
    EXPECT_EQ(RunScript(nested(kMaxBlockDepth + 1), true), DISP_E_EXCEPTION);
    EXPECT_EQ(RunScript(nested(100000), true), DISP_E_EXCEPTION);
    EXPECT_EQ(RunScript(nested(100000), false), DISP_E_EXCEPTION);
}

TEST_F(RegisterTest, FailedCreateWriteAndCloseEndTheRun)
{
    // Every kind of value: a write the registry refuses is the item's
    // failure, and the recovery pass removes what the block made.
    for (const char* script : {"HKCR { A { val V = s x } }", "HKCR { A { val V = d 1 } }", "HKCR { A = b 0a }"}) {
        PlatformSeam_FailRegistryCall("RegSetValueExW", ERROR_CANTWRITE, 0, 1);
        EXPECT_EQ(RunScript(script, true), HRESULT_FROM_WIN32(ERROR_CANTWRITE)) << script;
        EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), RegistryMap()) << script;
        PlatformSeam_ClearRegistryFailures();
    }

    PlatformSeam_FailRegistryCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(RunScript("HKCR { A = s x }", true), DISP_E_EXCEPTION);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "A"));

    // B is created while A is held: A must be closed first, and that fails.
    PlatformSeam_ClearRegistryFailures();
    PlatformSeam_FailRegistryCall("RegCloseKey", ERROR_INVALID_HANDLE, 0, 1);
    EXPECT_EQ(RunScript("HKCR { A B }", true), DISP_E_EXCEPTION);
    // The recovery pass removed what was made.
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), RegistryMap());
}

}  // namespace
}  // namespace trellan::test
