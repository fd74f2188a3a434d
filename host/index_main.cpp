// trellan-index: trellan's commands, linked with jemalloc, to which trellan
// hands its index runs (host/main.cpp). It lies beside the platform library
// and takes the same command line; it hands nothing on.
#include "system/platform_differences.h"
#include "cli/command_line.h"

int main(int argc, char** argv)
{
    return host::RunCommandLine(host::CommandLineArguments(argc, argv));
}
