// trellan: the indexing host's stand-in and the platform's tools, in one
// command.
#include "system/platform_differences.h"
#include "cli/command_line.h"

int main(int argc, char** argv)
{
    return host::RunCommandLine(host::CommandLineArguments(argc, argv));
}
