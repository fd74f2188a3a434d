// The trellan command against one registry file from many processes:
// commands that take turns, a registration killed at any moment, the file
// left at exit, and a database that cannot be used.
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

class CommandProcessesTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        // Its own folder: ctest runs the tests of this program side by side.
        std::string pattern = std::string(TRELLAN_TEST_TEMP_DIR) + "/processes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        registry = directory + "/registry.sqlite";
        module = std::filesystem::canonical(TRELLAN_MODULE_PATH).string();
    }
    void TearDown() override
    {
        ScriptTest::TearDown();
        std::filesystem::remove_all(directory);
    }

    // Starts `trellan --registry REGISTRY args...` with standard input from
    // `input` and standard error into a file of its own.
    pid_t Start(std::vector<std::string> args, const std::string& input = "/dev/null", bool asNobody = false)
    {
        const std::string errors = directory + "/errors-" + std::to_string(started++);
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
        args.insert(args.begin(), {TRELLAN_CLI_PATH, "--registry", registry});
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(102);
    }
    // The exit code (-1 when killed) and what it said on standard error.
    std::pair<int, std::string> Wait(pid_t child)
    {
        int status = 0;
        int code = waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(directory + "/errors-" + std::to_string(finished++));
        return {code, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    }
    int Run(const std::vector<std::string>& args, const std::string& input = "/dev/null")
    {
        return Wait(Start(args, input)).first;
    }
    RegistryMap Registry(const std::string& file, HKEY root = HKEY_CLASSES_ROOT, const std::string& prefix = "HKCR")
    {
        setenv("TRELLAN_REGISTRY", file.c_str(), 1);
        PlatformRegistry_Reset();
        RegistryMap map = Snapshot(root, prefix);
        setenv("TRELLAN_REGISTRY", ":memory:", 1);
        PlatformRegistry_Reset();
        return map;
    }

    std::string directory;
    std::string registry;
    std::string module;
    int started = 0;
    int finished = 0;
};

TEST_F(CommandProcessesTest, TwentyProcessesTakeTurnsAndLeaveOneFile)
{
    const std::string fixture = std::string(TRELLAN_TEST_SOURCE_DIR) + "/host/regfile/fixtures/editor_utf16.reg";
    ASSERT_EQ(Run({"reg", "import", "-"}, fixture), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 20; ++i)
        children.push_back(Start({i % 2 ? "unregister" : "register", module}));
    for (pid_t child : children) {
        auto [code, errors] = Wait(child);
        EXPECT_EQ(code, 0) << errors;
    }
    // Every process closed the database: the file alone holds it all.
    EXPECT_FALSE(std::filesystem::exists(registry + "-wal"));
    std::filesystem::copy_file(registry, directory + "/copy.sqlite");
    const RegistryMap after = Registry(directory + "/copy.sqlite");
    EXPECT_TRUE(after == ExpectedRegistration(module) || after == ExpectedAfterUnregistration());
    EXPECT_EQ(Registry(directory + "/copy.sqlite", HKEY_CURRENT_USER, "HKCU").count("HKCU\\Software\\Trellan Fixture"),
              1u);
}

TEST_F(CommandProcessesTest, KilledRegistrationLeavesNothingOrEverything)
{
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({"register", module}), 0);
    const long duration =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin).count();
    const RegistryMap registered = Registry(registry);
    ASSERT_EQ(registered, ExpectedRegistration(module));

    // Kills from the start of the process to near the end of its work.
    std::mt19937 random(20260);
    std::uniform_int_distribution<long> moment(0, duration * 3 / 4);
    int completed = 0;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(Run({"unregister", module}), 0);
        pid_t child = Start({"register", module});
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(child, SIGKILL);
        Wait(child);
        const RegistryMap after = Registry(registry);
        completed += after == registered;
        EXPECT_TRUE(after == registered || after == ExpectedAfterUnregistration()) << "killed half-way, round "
                                                                                     << round;
    }
    std::printf("registrations complete before the kill: %d of 30\n", completed);
}

TEST_F(CommandProcessesTest, EveryCommandNamesAnUnusableRegistry)
{
    const std::string script = directory + "/script.regscript";
    std::ofstream(script) << "HKCR { Key }";
    const std::string regFile = directory + "/keys.reg";
    std::ofstream(regFile) << "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\Key]\n";
    std::ofstream(directory + "/damaged.sqlite") << "not a database";
    const std::pair<std::string, const char*> databases[] = {
        {directory + "/damaged.sqlite", "is not a registry database, or it is damaged (ERROR_REGISTRY_CORRUPT"},
        {directory + "/missing/registry.sqlite", "does not exist (ERROR_PATH_NOT_FOUND"},
    };
    const std::vector<std::string> commands[] = {
        {"dump", "file.mp3"}, {"register", module}, {"unregister", module},
        {"reg", "export"},    {"reg", "import", regFile}, {"script", "run", script},
    };
    for (const auto& [database, cause] : databases) {
        registry = database;
        for (const auto& command : commands) {
            auto [code, errors] = Wait(Start(command));
            EXPECT_EQ(code, 1) << command[0];
            EXPECT_NE(errors.find(cause), std::string::npos) << command[0] << ": " << errors;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(directory + "/missing"));
}

TEST_F(CommandProcessesTest, ReadOnlyRegistryIsReadAndRefusesWrites)
{
    ASSERT_EQ(Run({"register", module}), 0);
    // A write-protected file in a folder that takes no new files, open to
    // the user the commands run as.
    using std::filesystem::perms;
    const perms readable = perms::owner_read | perms::group_read | perms::others_read;
    std::filesystem::permissions(registry, readable);
    std::filesystem::permissions(directory, readable | perms::owner_exec | perms::group_exec | perms::others_exec);
    auto [exported, exportErrors] = Wait(Start({"reg", "export", "HKCR\\.mp3"}, "/dev/null", true));
    auto [refused, refusedErrors] = Wait(Start({"unregister", module}, "/dev/null", true));
    std::filesystem::permissions(directory, perms::owner_all);
    EXPECT_EQ(exported, 0) << exportErrors;
    EXPECT_EQ(refused, 1);
    EXPECT_NE(refusedErrors.find("can only be read"), std::string::npos) << refusedErrors;
}

}  // namespace
}  // namespace trellan::test
