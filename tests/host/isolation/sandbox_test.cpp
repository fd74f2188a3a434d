// The worker's sandbox: a forked child enters it and tries what a hostile
// filter would, and hands the report and the outcomes to the parent through
// a pipe. An attempt must fail where the report says its protection held (a
// kernel without one fails nothing), and what a filter needs must work.
#include "isolation/sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace trellan::test {
namespace {

using namespace host::isolation;

enum class Guard { None, Writes, Network, OpeningByName };

struct Attempt {
    const char* name;
    Guard guard;  // the protection that refuses it; None: it always works
    bool (*works)(const std::string& folder);
};

bool Opens(const std::string& path, int flags)
{
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
    char byte;
    const bool opened = fd >= 0 && ((flags & O_ACCMODE) != O_RDONLY || read(fd, &byte, 1) == 1);
    if (fd >= 0)
        close(fd);
    return opened;
}

bool MakesSocket(int family)
{
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

const Attempt attempts[] = {
    {"create a file", Guard::Writes, [](const std::string& f) { return Opens(f + "/new", O_WRONLY | O_CREAT | O_EXCL); }},
    {"open a file for writing", Guard::Writes, [](const std::string& f) { return Opens(f + "/existing", O_WRONLY); }},
    {"make a folder", Guard::Writes, [](const std::string& f) { return mkdir((f + "/folder").c_str(), 0700) == 0; }},
    {"remove a file", Guard::Writes, [](const std::string& f) { return unlink((f + "/doomed").c_str()) == 0; }},
    {"open an IPv4 socket", Guard::Network, [](const std::string&) { return MakesSocket(AF_INET); }},
    {"open an IPv6 socket", Guard::Network, [](const std::string&) { return MakesSocket(AF_INET6); }},
    {"read a file", Guard::OpeningByName, [](const std::string& f) { return Opens(f + "/existing", O_RDONLY); }},
    {"open a Unix socket", Guard::None, [](const std::string&) { return MakesSocket(AF_UNIX); }},
};

struct Outcome {
    SandboxReport report;
    unsigned worked = 0;  // bit i: attempts[i] worked
};

Outcome RunSandboxed(const SandboxSettings& settings, const std::string& folder)
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        Outcome outcome{EnterSandbox(settings)};
        for (size_t i = 0; i < std::size(attempts); ++i)
            outcome.worked |= attempts[i].works(folder) ? 1U << i : 0;
        _exit(write(ends[1], &outcome, sizeof outcome) == sizeof outcome ? 0 : 1);
    }
    close(ends[1]);
    Outcome outcome;
    EXPECT_EQ(read(ends[0], &outcome, sizeof outcome), static_cast<ssize_t>(sizeof outcome));
    close(ends[0]);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    return outcome;
}

TEST(Sandbox, RefusesWhatItsReportSaysHeldAndLeavesWhatAFilterNeeds)
{
    for (const bool mayOpenFilesForReading : {true, false}) {
        SCOPED_TRACE(mayOpenFilesForReading ? "reads by name" : "descriptors only");
        char folderTemplate[] = "/tmp/trellan-sandbox-XXXXXX";
        ASSERT_NE(mkdtemp(folderTemplate), nullptr);
        const std::string folder = folderTemplate;
        std::ofstream(folder + "/existing") << "x";
        std::ofstream(folder + "/doomed") << "x";
        const SandboxSettings settings{mayOpenFilesForReading};
        const Outcome outcome = RunSandboxed(settings, folder);
        const SandboxReport& report = outcome.report;
        for (size_t i = 0; i < std::size(attempts); ++i) {
            const Guard guard = attempts[i].guard;
            const bool mustWork = guard == Guard::None || (guard == Guard::OpeningByName && mayOpenFilesForReading);
            const bool refused = (guard == Guard::Writes && report.RefusesWrites()) ||
                (guard == Guard::Network && report.seccomp) ||
                (guard == Guard::OpeningByName && report.noOpeningByName);
            if (mustWork || refused) {
                EXPECT_EQ((outcome.worked >> i) & 1, mustWork ? 1U : 0U) << attempts[i].name << ": " << report.Describe();
            }
        }
        // Every Linux this builds for has these two; the rest is the kernel's choice.
        EXPECT_TRUE(report.noNewPrivileges);
        EXPECT_TRUE(report.noCoreOrFileGrowth);
        EXPECT_EQ(report.noOpeningByName, !mayOpenFilesForReading && report.RefusesWrites());
        const std::string line = report.Describe();
        EXPECT_NE(line.find(report.landlock ? "Landlock (ABI " + std::to_string(report.landlockAbi) + "): no writes"
                                            : std::string("Landlock: ")), std::string::npos) << line;
        EXPECT_NE(line.find(report.seccomp ? "seccomp: no network" : "seccomp: "), std::string::npos) << line;

        // The parent's probe agrees with the worker and leaves the parent as it was.
        const SandboxReport probed = ProbeSandbox(settings);
        EXPECT_EQ(probed.Describe(), line);
        EXPECT_TRUE(Opens(folder + "/after-probe", O_WRONLY | O_CREAT)) << "the probe sandboxed its caller";
        EXPECT_TRUE(MakesSocket(AF_INET));
        std::filesystem::remove_all(folder);
    }
}

}  // namespace
}  // namespace trellan::test
