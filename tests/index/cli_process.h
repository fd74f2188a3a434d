// Runs the trellan CLI as a child process, with its own registry, for the
// index's end-to-end tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace trellan::test {

class CliProcess {
public:
    // Starts `trellan ARGS...` with TRELLAN_REGISTRY set to `registry`;
    // standard output and error go to `outputFile`.
    CliProcess(const std::string& registry, const std::vector<std::string>& args, const std::string& outputFile);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int signal);
    // The exit code; 128 + the signal when a signal ended it.
    int Wait();

private:
    pid_t child = -1;
};

// Runs `trellan ARGS...` to its end; answers its exit code and its output
// (standard output and error together).
int RunCli(const std::string& registry, const std::vector<std::string>& args, std::string* output = nullptr);

}  // namespace trellan::test
