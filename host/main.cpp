// trellan: the indexing host's stand-in and the platform's tools, in one
// command.
#include "system/platform_differences.h"
#include "cli/command_line.h"

#ifdef TRELLAN_INDEX_PROGRAM
#include "system/helper_programs.h"

#include <unistd.h>
#endif

namespace {

char** commandLine;

#ifdef TRELLAN_INDEX_PROGRAM
// An index run builds and frees many small objects a file (the rows, the
// tally of their words, SQLite's records), and with jemalloc takes about a
// tenth less processor time; but jemalloc adds more than a millisecond to
// every process's start, which each search would pay. So an index run is
// handed whole to trellan-index, these same commands linked with jemalloc,
// in the same process (exec: the same process id, signals, descriptors and
// environment). Where that program cannot be started the run stays here.
void HandOffIndexRun()
{
    execv(host::HelperProgram("trellan-index").c_str(), commandLine);
}
#else
constexpr void (*HandOffIndexRun)() = nullptr;  // every command runs here
#endif

}  // namespace

int main(int argc, char** argv)
{
    commandLine = argv;
    return host::RunCommandLine(host::CommandLineArguments(argc, argv), HandOffIndexRun);
}
