// trellan: the indexing host's stand-in and the platform's tools, in one
// command.
#include "arguments.h"
#include "command_line.h"

int main(int argc, char** argv)
{
    return host::RunCommandLine(host::CommandLineArguments(argc, argv));
}
