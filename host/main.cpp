// trellan: the indexing host's stand-in and the platform's tools, in one
// command.
#include "arguments.h"
#include "commands.h"
#include "console.h"

#include <cstdio>

namespace {

struct CommandRow {
    const char16_t* name;
    int (*run)(const host::Arguments& args);
    const char* usage;
};

const CommandRow commandTable[] = {
    {u"dump", host::RunDump, "dump [--json] [--module PATH] [--buffer UNITS] FILE...  filter files, print their chunks"},
    {u"register", host::RunRegister, "register [MODULE]      call the module's DllRegisterServer"},
    {u"unregister", host::RunUnregister, "unregister [MODULE]    call the module's DllUnregisterServer"},
};

void PrintUsage(FILE* out)
{
    std::fprintf(out, "usage: trellan [--registry PATH] COMMAND [ARGS]\n\ncommands:\n");
    for (const CommandRow& row : commandTable)
        std::fprintf(out, "  %s\n", row.usage);
}

}  // namespace

int main(int argc, char** argv)
{
    host::Arguments args = host::CommandLineArguments(argc, argv);

    size_t next = 0;
    while (next < args.size() && args[next].rfind(u"--", 0) == 0) {
        if (args[next] == u"--registry" && next + 1 < args.size()) {
            if (!host::UseRegistryFile(args[next + 1]))
                std::fprintf(stderr, "trellan: --registry is not supported on this platform\n");
            next += 2;
        } else if (args[next] == u"--help") {
            PrintUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "trellan: unknown option %s\n", host::ToUtf8(args[next]).c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    if (next == args.size()) {
        PrintUsage(stderr);
        return 2;
    }

    for (const CommandRow& row : commandTable) {
        if (args[next] == row.name)
            return row.run(host::Arguments(args.begin() + next + 1, args.end()));
    }
    std::fprintf(stderr, "trellan: unknown command %s\n", host::ToUtf8(args[next]).c_str());
    PrintUsage(stderr);
    return 2;
}
