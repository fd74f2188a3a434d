// The trellan command against one registry file from many processes:
// commands that take turns, a registration killed at any moment, and a
// database that cannot be used or only read.
#include "registration/expected_registration.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace trellan::test {
namespace {

struct Outcome {
    int code = -1;
    std::string errors;
};

class CommandProcessesTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        // Its own folder: ctest runs the tests of this program side by side.
        std::string pattern = std::string(TRELLAN_TEST_TEMP_DIR) + "/processes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                    std::filesystem::perms::group_exec |
                                                    std::filesystem::perms::others_read |
                                                    std::filesystem::perms::others_exec);
        registry = (directory / "registry.sqlite").string();
        module = std::filesystem::canonical(TRELLAN_MODULE_PATH).string();
    }
    void TearDown() override
    {
        ScriptTest::TearDown();
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(directory);
    }

    // Starts `trellan --registry REGISTRY args...`, its standard error into
    // a file, its standard input from `input` (or nothing).
    pid_t Start(const std::vector<std::string>& args, const std::string& input = "/dev/null", bool asNobody = false)
    {
        const std::string errors = (directory / ("errors-" + std::to_string(started++))).string();
        pid_t child = fork();
        if (child != 0)
            return child;
        int in = open(input.c_str(), O_RDONLY);
        int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int out = open("/dev/null", O_WRONLY);
        if (in < 0 || err < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(101);
        // File modes do not stop root.
        if (asNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(100);
        std::vector<std::string> all = {TRELLAN_CLI_PATH, "--registry", registry};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(102);
    }
    Outcome Wait(pid_t child)
    {
        int status = 0;
        Outcome outcome;
        if (waitpid(child, &status, 0) == child && WIFEXITED(status))
            outcome.code = WEXITSTATUS(status);
        std::ifstream in(directory / ("errors-" + std::to_string(finished++)));
        outcome.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return outcome;
    }
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "/dev/null", bool asNobody = false)
    {
        return Wait(Start(args, input, asNobody));
    }
    RegistryMap Registry()
    {
        setenv("TRELLAN_REGISTRY", registry.c_str(), 1);
        PlatformRegistry_Reset();
        RegistryMap map = Snapshot(HKEY_CLASSES_ROOT);
        setenv("TRELLAN_REGISTRY", ":memory:", 1);
        PlatformRegistry_Reset();
        return map;
    }

    std::filesystem::path directory;
    std::string registry;
    std::string module;
    int started = 0;
    int finished = 0;
};

TEST_F(CommandProcessesTest, TwentyProcessesTakeTurns)
{
    std::vector<pid_t> children;
    for (int i = 0; i < 20; ++i)
        children.push_back(Start({i % 2 ? "unregister" : "register", module}));
    for (pid_t child : children) {
        Outcome outcome = Wait(child);
        EXPECT_EQ(outcome.code, 0) << outcome.errors;
    }
    const RegistryMap after = Registry();
    EXPECT_TRUE(after == ExpectedRegistration(module) || after == ExpectedAfterUnregistration());
}

TEST_F(CommandProcessesTest, KilledRegistrationLeavesNothingOrEverything)
{
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({"register", module}).code, 0);
    const auto duration = std::chrono::steady_clock::now() - begin;
    const RegistryMap registered = Registry();
    ASSERT_EQ(registered, ExpectedRegistration(module));
    ASSERT_EQ(Run({"unregister", module}).code, 0);
    const RegistryMap unregistered = Registry();

    std::mt19937 random(20260);
    // Moments from the start of the process to near the end of its work.
    const long microseconds = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    std::uniform_int_distribution<long> moment(0, microseconds * 3 / 4);
    int whole = 0;
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(Run({"unregister", module}).code, 0);
        pid_t child = Start({"register", module});
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(child, SIGKILL);
        Wait(child);
        const RegistryMap after = Registry();
        whole += after == registered;
        EXPECT_TRUE(after == registered || after == unregistered) << "a registration killed half-way, round " << i;
    }
    std::printf("registrations that completed before the kill: %d of 30\n", whole);
}

TEST_F(CommandProcessesTest, EveryCommandNamesAnUnusableRegistry)
{
    const std::string script = (directory / "script.regscript").string();
    std::ofstream(script) << "HKCR { Key }";
    struct Database {
        std::string path;
        const char* cause;
    };
    std::ofstream(directory / "damaged.sqlite") << "not a database";
    const Database databases[] = {
        {(directory / "damaged.sqlite").string(), "ERROR_REGISTRY_CORRUPT"},
        {(directory / "missing" / "registry.sqlite").string(), "does not exist"},
    };
    const std::vector<std::vector<std::string>> commands = {
        {"dump", "file.mp3"}, {"register", module}, {"unregister", module},
        {"reg", "export"},    {"reg", "import", script}, {"script", "run", script},
    };
    for (const Database& database : databases) {
        registry = database.path;
        for (const auto& command : commands) {
            Outcome outcome = Run(command);
            EXPECT_EQ(outcome.code, 1) << command[0];
            EXPECT_NE(outcome.errors.find(database.cause), std::string::npos) << command[0] << ": " << outcome.errors;
        }
    }
}

TEST_F(CommandProcessesTest, ReadOnlyRegistryIsReadAndStandardInputImported)
{
    const std::string fixture = std::string(TRELLAN_TEST_SOURCE_DIR) + "/registry/fixtures/editor_utf16.reg";
    ASSERT_EQ(Run({"reg", "import", "-"}, fixture).code, 0);
    ASSERT_EQ(Run({"register", module}).code, 0);
    ASSERT_EQ(Registry().count("HKCR\\CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"), 1u);

    using std::filesystem::perms;
    // A write-protected file in a folder that takes no new files.
    std::filesystem::permissions(registry, perms::owner_read | perms::group_read | perms::others_read);
    std::filesystem::permissions(directory, perms::owner_read | perms::owner_exec | perms::group_read |
                                                perms::group_exec | perms::others_read | perms::others_exec);
    Outcome exported = Run({"reg", "export", "HKCU\\Software\\Trellan Fixture"}, "/dev/null", true);
    EXPECT_EQ(exported.code, 0) << exported.errors;
    Outcome refused = Run({"unregister", module}, "/dev/null", true);
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.errors.find("can only be read"), std::string::npos) << refused.errors;
}

}  // namespace
}  // namespace trellan::test
