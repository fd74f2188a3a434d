// trellan: the indexing host's stand-in and the platform's tools, in one
// command.
#include "arguments.h"
#include "commands.h"
#include "console.h"
#include "registry_commands.h"

#include <cstdio>

namespace {

struct CommandRow {
    const char16_t* name;
    const char16_t* subcommand;  // null: the command takes none
    int (*run)(const host::Arguments& args);
    const char* usage;
};

const CommandRow commandTable[] = {
    {u"dump", nullptr, host::RunDump,
     "dump [--json] [--module PATH] [--buffer UNITS] FILE...   filter files and print their chunks"},
    {u"register", nullptr, host::RunRegister, "register [MODULE]        call the module's DllRegisterServer"},
    {u"unregister", nullptr, host::RunUnregister, "unregister [MODULE]      call the module's DllUnregisterServer"},
    {u"reg", u"export", host::RunRegExport,
     "reg export [KEY] [FILE]  the registry or one subtree as .reg text: to FILE as the platform's editor writes it"},
    {u"reg", u"import", host::RunRegImport, "reg import FILE          read a .reg file (- reads standard input)"},
    {u"script", u"run", host::RunScriptRun,
     "script run FILE [--unregister] [--set NAME=VALUE]...   run a registry script"},
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
        if (args[next] != row.name)
            continue;
        if (!row.subcommand)
            return row.run(host::Arguments(args.begin() + next + 1, args.end()));
        if (next + 1 < args.size() && args[next + 1] == row.subcommand)
            return row.run(host::Arguments(args.begin() + next + 2, args.end()));
    }
    std::fprintf(stderr, "trellan: unknown command %s\n", host::ToUtf8(args[next]).c_str());
    PrintUsage(stderr);
    return 2;
}
