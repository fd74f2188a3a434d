// The CLI's export and import in the .reg text format: the platform's
// editor's files (committed fixtures in its encodings), export to a file and
// to standard output, bad input.
#include "support/registry_fixture.h"

#include "support/command_run.h"
#include "text/text_conversion.h"
#include "text/text_decoding.h"
#include "registry/registry_transfer.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace trellan::test {
namespace {

using RegTextTest = MemoryRegistryTest;

LONG SetRaw(const std::string& path, const std::u16string& name, DWORD type, const std::vector<BYTE>& data)
{
    Key key;
    std::u16string subKey = Utf16(path);
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Receive(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    return result;
}

std::u16string ExportText(const std::string& key)
{
    std::u16string text;
    std::string error;
    EXPECT_EQ(host::ExportRegistry(Utf16(key), &text, &error), ERROR_SUCCESS) << error;
    return text;
}

std::string Export(const std::string& key)
{
    return Utf8(ExportText(key));
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Fixture(const char* name)
{
    return FileBytes(std::string(TRELLAN_REG_FIXTURES) + "/" + name);
}

TEST_F(RegTextTest, ExportWritesThePlatformsFormat)
{
    ASSERT_EQ(SetRaw("Format", u"", REG_SZ, RegistryStringBytes(u"default")), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Path", REG_SZ, RegistryStringBytes(u"C:\\dir \"quoted\"")), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Count", REG_DWORD, {0x2A, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Blob", REG_BINARY, {0x0A, 0x1B}), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Expand", REG_EXPAND_SZ, RegistryStringBytes(u"%A%")), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Multi", REG_MULTI_SZ, RegistryStringBytes(std::u16string(u"a\0", 2))), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Big", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format", u"Lines", REG_SZ, RegistryStringBytes(u"a\nb\r")), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Format\\Sub", u"na\\me", REG_NONE, {}), ERROR_SUCCESS);

    const std::string expected =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_CURRENT_USER\\Format]\n"
        "@=\"default\"\n"
        "\"Path\"=\"C:\\\\dir \\\"quoted\\\"\"\n"
        "\"Count\"=dword:0000002a\n"
        "\"Blob\"=hex:0a,1b\n"
        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
        "\"Multi\"=hex(7):61,00,00,00,00,00\n"
        "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\"Lines\"=\"a\\nb\\r\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\Format\\Sub]\n"
        "\"na\\\\me\"=hex(0):\n"
        "\n";
    EXPECT_EQ(Export("HKCU\\Format"), expected);
    EXPECT_EQ(Export("HKEY_CURRENT_USER\\format\\"), expected);

    std::u16string text;
    std::string error;
    EXPECT_EQ(host::ExportRegistry(u"HKCU\\Missing", &text, &error), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(error.find("HKEY_CURRENT_USER\\Missing"), std::string::npos) << error;
    EXPECT_EQ(host::ExportRegistry(u"HKXX\\Format", &text, &error), ERROR_INVALID_PARAMETER);
}

TEST_F(RegTextTest, ImportReadsBackEverythingExportWrote)
{
    std::vector<BYTE> longBlob;
    for (int i = 0; i < 300; ++i)
        longBlob.push_back(static_cast<BYTE>(i));
    ASSERT_EQ(SetRaw("Round\\Trip", u"Long", REG_BINARY, longBlob), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Round\\Trip", u"Text \u00e9\U0001F600", REG_SZ, RegistryStringBytes(u"it's \"\\\" \u4e2d")), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Round\\Trip", u"", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Round\\Trip", u"Odd", REG_SZ, {0x41}), ERROR_SUCCESS);  // not a proper string
    ASSERT_EQ(SetRaw("Round\\Trip", u"Short", REG_DWORD, {1, 2}), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("Round\\Empty", u"EmptySz", REG_SZ, {}), ERROR_SUCCESS);
    ASSERT_EQ(CreateKey(HKEY_CLASSES_ROOT, ".mp3\\PersistentHandler"), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw(std::string("Round\\Lone \xED\xA0\x80"), std::u16string(u"half \xD800 pair", 11), REG_SZ,
                     RegistryStringBytes(u"x")),
              ERROR_SUCCESS);

    // Through the file form (UTF-16, where a lone surrogate keeps its place).
    const std::u16string before = ExportText("");
    EXPECT_NE(before.find(u"\\\n  "), std::u16string::npos) << "long hex data is wrapped";
    const std::string file = host::RegFileBytes(before);
    PlatformRegistry_Reset();

    std::string error;
    ASSERT_TRUE(host::ImportRegistry(host::DecodeText(file), &error)) << error;
    EXPECT_EQ(ExportText(""), before);
}

TEST_F(RegTextTest, TheEditorsFilesInEveryEncodingReadAlike)
{
    // The same keys and values: as the platform's editor writes them
    // (UTF-16LE, mark, CR LF), by hand in UTF-8 with comments and spacing,
    // and as REGEDIT4 (Windows-1252 text, 8-bit hex(1), hex(2), hex(7)).
    const std::string editorFile = Fixture("editor_utf16.reg");
    for (const char* name : {"editor_utf16.reg", "hand_utf8.reg", "ansi_regedit4.reg"}) {
        SetUp();
        std::string error;
        ASSERT_TRUE(host::ImportRegistry(host::DecodeText(Fixture(name)), &error)) << name << ": " << error;
        EXPECT_EQ(host::RegFileBytes(ExportText("HKCU\\Software\\Trellan Fixture")), editorFile) << name;
        TearDown();
    }
}

TEST_F(RegTextTest, CommandsWriteFilesAndRefuseFolders)
{
    char pattern[] = "/tmp/trellan-reg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = pattern;
    std::ofstream(directory + "/in.reg", std::ios::binary) << Fixture("hand_utf8.reg");

    EXPECT_EQ(host::RunCommandLine({u"reg", u"import", Utf16(directory + "/in.reg")}), 0);
    EXPECT_EQ(host::RunCommandLine({u"reg", u"export", u"HKCU\\Software\\Trellan Fixture", Utf16(directory + "/out.reg")}),
              0);
    EXPECT_EQ(FileBytes(directory + "/out.reg"), Fixture("editor_utf16.reg"));

    // A name that is not UTF-8 (Latin-1 "café") reads and writes as any other.
    const std::string latin1 = directory + "/caf\xe9.reg";
    std::ofstream(latin1, std::ios::binary) << Fixture("hand_utf8.reg");
    const std::u16string latin1Name = host::FromCodePage(CP_ACP, latin1);
    EXPECT_EQ(Trellan({u"reg", u"import", latin1Name}).code, 0);
    EXPECT_EQ(Trellan({u"reg", u"export", u"HKCU\\Software\\Trellan Fixture", latin1Name}).code, 0);
    EXPECT_EQ(FileBytes(latin1), Fixture("editor_utf16.reg"));

    // A folder, a missing file, a file that cannot be written: a clear error.
    std::string error;
    std::u16string text;
    EXPECT_FALSE(host::ReadTextFile(Utf16(directory), host::TextKind{"a .reg file", 1 << 20}, &text, &error));
    EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
    for (const host::Arguments& args : std::vector<host::Arguments>{
             {u"reg", u"import", Utf16(directory)}, {u"reg", u"import", Utf16(directory + "/missing.reg")},
             {u"reg", u"import"}}) {
        const CommandRun run = Trellan(args);
        EXPECT_EQ(run.code, args.size() == 2 ? 2 : 1);
        EXPECT_NE(run.err, "");
    }
    const CommandRun exported = Trellan({u"reg", u"export", u"HKCU", Utf16(directory)});
    EXPECT_EQ(exported.code, 1);
    EXPECT_NE(exported.err, "");
    std::filesystem::remove_all(directory);
}

TEST_F(RegTextTest, ImportDeletesKeysAndValues)
{
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Doomed\\Deep\\Deeper", "v", "x"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Kept", "Gone", "x"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Kept", "Stays", "y"), ERROR_SUCCESS);
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[-HKEY_CURRENT_USER\\Doomed]\r\n"
        "[-HKEY_CURRENT_USER\\NeverThere]\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Kept]\r\n"
        "\"Gone\"=-\r\n"
        "\"New\"=hex:01,\\\r\n"
        "  02,03\r\n";
    std::string error;
    ASSERT_TRUE(host::ImportRegistry(Utf16(text), &error)) << error;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Doomed"));
    EXPECT_EQ(Export("HKCU\\Kept"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Kept]\n\"Stays\"=\"y\"\n"
              "\"New\"=hex:01,02,03\n\n");
}

TEST_F(RegTextTest, MalformedFilesChangeNothingAndNameTheLine)
{
    struct BadFile {
        const char* text;
        const char* message;
    };
    const BadFile cases[] = {
        {"", "empty"},
        {"REGEDIT5\n[HKEY_CURRENT_USER\\A]\n", "line 1: not a registry file"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n", "line 3: dword:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:0g\n", "line 3: bad byte"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"open\n", "line 3: string without its closing quote"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=text\n", "line 3: unknown value form"},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "line 2: unknown root key"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\n", "line 2: a key line must end with ]"},
        {"REGEDIT4\n\"v\"=\"x\"\n", "line 2: a value before any [KEY] line"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n", "line 3: a value under a key that is being deleted"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER]\n", "line 2: a root key cannot be deleted"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex(zz):00\n", "line 3: hex(TYPE)"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\nv=\"x\"\n", "line 3: expected a value line"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\" y\n", "line 3: text after the closing quote"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:12 34\n", "line 3: dword:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A] x\n", "line 2: a key line must end with ]"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\B]\n\"v\"=hex:01,\\\n  02\n\"w\"=hex:zz\n", "line 5: bad byte"},
    };
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "A", "v", "original"), ERROR_SUCCESS);
    const std::string before = Export("");
    for (const BadFile& row : cases) {
        std::string error;
        EXPECT_FALSE(host::ImportRegistry(Utf16(row.text), &error)) << row.text;
        EXPECT_NE(error.find(row.message), std::string::npos) << "got: " << error;
        EXPECT_EQ(Export(""), before) << row.text;
    }
}

}  // namespace
}  // namespace trellan::test
