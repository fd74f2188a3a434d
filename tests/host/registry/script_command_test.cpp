// The CLI's script command end to end: run a script file, export the
// registry, run it again to unregister.
#include "support/script_fixture.h"

#include "support/command_run.h"
#include "registry/registry_transfer.h"
#include "text/text_conversion.h"

#include <win32/registry_control.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace trellan::test {
namespace {

class ScriptCommandTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        char pattern[] = "/tmp/trellan-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(directory);
        ScriptTest::TearDown();
    }
    std::u16string WriteFile(const std::string& name, const std::string& bytes)
    {
        std::string path = directory + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return Utf16(path);
    }
    // Runs `trellan script run ARGS...` and answers its exit code and what
    // it printed.
    int Run(const host::Arguments& args, std::string* printed)
    {
        host::Arguments line{u"script", u"run"};
        line.insert(line.end(), args.begin(), args.end());
        const CommandRun run = Trellan(line);
        *printed = run.out;
        return run.code;
    }
    std::string directory;
};

const char kScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tNoRemove Software\r\n"
    "\t{\r\n"
    "\t\tForceRemove Trellan = s 'Media filter'\r\n"
    "\t\t{\r\n"
    "\t\t\tval Version = d 75\r\n"
    "\t\t\tval Signature = b 0A1b2C\r\n"
    "\t\t\tModule = s '%MODULE%' { val ThreadingModel = s 'Both' }\r\n"
    "\t\t}\r\n"
    "\t\tDelete Obsolete\r\n"
    "\t}\r\n"
    "}\r\n";

TEST_F(ScriptCommandTest, RegisterExportUnregister)
{
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Software\\Obsolete\\Old", "", "old"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "Software\\Trellan\\Stale", "", "stale"), ERROR_SUCCESS);
    std::u16string file = WriteFile("script.regscript", kScript);

    std::string printed;
    EXPECT_EQ(Run({file, u"--set", u"Module=/usr/lib/trellan.so"}, &printed), 0);
    EXPECT_EQ(printed, "S_OK (0x00000000)\n");

    std::u16string text;
    std::string error;
    ASSERT_EQ(host::ExportRegistry(u"HKCR", &text, &error), ERROR_SUCCESS) << error;
    EXPECT_EQ(Utf8(text),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CLASSES_ROOT]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\Software]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\Software\\Trellan]\n"
              "@=\"Media filter\"\n"
              "\"Version\"=dword:0000004b\n"
              "\"Signature\"=hex:0a,1b,2c\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\Software\\Trellan\\Module]\n"
              "@=\"/usr/lib/trellan.so\"\n"
              "\"ThreadingModel\"=\"Both\"\n"
              "\n");

    EXPECT_EQ(Run({u"--unregister", file, u"--set", u"module=/usr/lib/trellan.so"}, &printed), 0);
    EXPECT_EQ(printed, "S_OK (0x00000000)\n");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), (RegistryMap{{"HKCR\\Software", "key"}}));
}

TEST_F(ScriptCommandTest, FailuresArePrintedByName)
{
    std::string printed;
    // Without --set the reference has no value.
    EXPECT_EQ(Run({WriteFile("script.regscript", kScript)}, &printed), 1);
    EXPECT_EQ(printed, "DISP_E_EXCEPTION (0x80020009)\n");
    EXPECT_EQ(Run({WriteFile("odd.regscript", "HKCR { A = b 123 }")}, &printed), 1);
    EXPECT_EQ(printed, "E_FAIL (0x80004005)\n");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), RegistryMap());

    // The 8-bit form: a Latin-1 byte that is not UTF-8.
    EXPECT_EQ(Run({WriteFile("latin1.regscript", "HKCR { 'Caf\xe9' }")}, &printed), 0);
    EXPECT_EQ(printed, "S_OK (0x00000000)\n");
    // UTF-8 with a byte-order mark.
    EXPECT_EQ(Run({WriteFile("bom.regscript", "\xEF\xBB\xBFHKCR { Mark }")}, &printed), 0);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Mark"));
    // A file name that is not UTF-8.
    WriteFile("caf\xe9.regscript", "HKCR { Latin }");
    EXPECT_EQ(Run({host::FromCodePage(CP_ACP, directory + "/caf\xe9.regscript")}, &printed), 0);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Latin"));

    // A malformed script is placed on its line.
    const CommandRun malformed = Trellan({u"script", u"run", WriteFile("lines.regscript", "HKCR\n{\n  Good\n  Bad = q 1\n}\n")});
    EXPECT_EQ(malformed.code, 1);
    EXPECT_NE(malformed.err.find("lines.regscript, line 4: the script is malformed here"), std::string::npos)
        << malformed.err;

    // A file by name that is a pipe is refused, never waited on (a child,
    // in case it would wait).
    const std::string pipe = directory + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const host::Arguments& args :
         std::vector<host::Arguments>{{u"script", u"run", Utf16(pipe)},
                                      {u"reg", u"import", Utf16(pipe)},
                                      {u"register", Utf16(pipe)},
                                      {u"--registry", Utf16(pipe), u"reg", u"export", u"HKCR\\x"}}) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            alarm(20);
            PlatformRegistry_Reset();  // --registry is read when the registry is first opened, as in a new process
            const CommandRun run = Trellan(args);
            _exit(run.code != 0 && run.err.find("not a regular file") != std::string::npos ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Utf8(args[0]) << " " << Utf8(args[1]);
    }

    // Files that are no script or .reg file, refused at their first piece:
    // a 2 GiB sparse file of zeros is never read whole.
    const std::u16string sparse = WriteFile("sparse", "");
    std::filesystem::resize_file(directory + "/sparse", std::uintmax_t(2) << 30);
    const struct {
        host::Arguments args;
        const char* error;
    } refused[] = {
        {{u"script", u"run", sparse}, "is not a registry script: it holds a NUL character"},
        {{u"reg", u"import", sparse}, "is not a .reg file: it holds a NUL character"},
        {{u"script", u"run", WriteFile("empty.regscript", " \n\n")}, "holds no script: it is empty"},
        {{u"reg", u"import", WriteFile("words.reg", std::string(200000, 'w'))},
         "is not a .reg file: line 1: not a registry file"},
    };
    for (const auto& row : refused) {
        const CommandRun run = Trellan(row.args);
        EXPECT_EQ(run.code, 1) << Utf8(row.args[2]);
        EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
    }

    EXPECT_EQ(Run({Utf16(directory + "/missing.regscript")}, &printed), 1);
    EXPECT_EQ(Run({Utf16(directory)}, &printed), 1) << "a folder";
    EXPECT_EQ(Run({}, &printed), 2);
    EXPECT_EQ(Run({u"a", u"b"}, &printed), 2);
    EXPECT_EQ(Run({u"a", u"--set", u"=x"}, &printed), 2);
    EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace trellan::test
