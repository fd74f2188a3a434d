#include "cli_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace trellan::test {

CliProcess::CliProcess(const std::string& registry, const std::vector<std::string>& args,
                       const std::string& outputFile)
{
    std::vector<char*> argv{const_cast<char*>(TRELLAN_CLI_PATH)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    child = fork();
    if (child != 0)
        return;
    int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (output < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0 ||
        setenv("TRELLAN_REGISTRY", registry.c_str(), 1) != 0)
        _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
}

CliProcess::~CliProcess()
{
    if (child > 0) {
        kill(child, SIGKILL);
        Wait();
    }
}

void CliProcess::Signal(int signal)
{
    if (child > 0)
        kill(child, signal);
}

int CliProcess::Wait()
{
    int status = 0;
    if (child <= 0 || waitpid(child, &status, 0) != child)
        return -1;
    child = -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int RunCli(const std::string& registry, const std::vector<std::string>& args, std::string* output)
{
    char name[] = "/tmp/trellan-cli-XXXXXX";
    int file = mkstemp(name);
    if (file < 0)
        return -1;
    close(file);
    int code = CliProcess(registry, args, name).Wait();
    if (output) {
        std::ostringstream text;
        text << std::ifstream(name).rdbuf();
        *output = text.str();
    }
    unlink(name);
    return code;
}

}  // namespace trellan::test
