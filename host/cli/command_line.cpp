// The whole command line: global options, the command table, usage and
// help, and the dispatch to a command once its arguments are checked.
#include "cli/command_line.h"

#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "cli/module_version.h"
#include "cli/options.h"

#include <cstdio>
#include <cstring>

namespace host {
namespace {

struct CommandRow {
    const char16_t* name;
    const char16_t* subcommand;  // null: the command has none
    const CommandSyntax* syntax;
    int (*run)(const ParsedArguments& args);
};

const CommandRow commandTable[] = {
    {u"dump", nullptr, &dumpSyntax, RunDump},
    {u"register", nullptr, &registerSyntax, RunRegister},
    {u"unregister", nullptr, &unregisterSyntax, RunUnregister},
    {u"reg", u"export", &regExportSyntax, RunRegExport},
    {u"reg", u"import", &regImportSyntax, RunRegImport},
    {u"script", u"run", &scriptRunSyntax, RunScriptRun},
#ifdef TRELLAN_HOST_INDEX
    // The index keeps its data in SQLite, which only the Linux host links.
    {u"index", nullptr, &indexSyntax, RunIndex},
    {u"search", nullptr, &searchSyntax, RunSearch},
#endif
};

void PrintUsage(FILE* out, const char16_t* only = nullptr)
{
    std::fprintf(out, "usage: trellan [--registry PATH] COMMAND [ARGS]\n"
                      "       trellan --version | --help\n\ncommands:\n");
    for (const CommandRow& row : commandTable) {
        if (only && std::u16string_view(row.name) != only)
            continue;
        std::fprintf(out, "  %-12s %s%s\n", row.syntax->name, row.syntax->optionCount ? "[OPTIONS] " : "",
                     row.syntax->operands);
    }
    std::fprintf(out, "\n'trellan COMMAND --help' describes a command.\n"
                      "--registry PATH chooses the registry database (Linux; default: $TRELLAN_REGISTRY, else\n"
                      "${XDG_DATA_HOME:-~/.local/share}/trellan/registry.sqlite).\n"
                      "exit status: 0 success, 1 a file or an operation failed, 2 a usage error\n");
}

int PrintVersion()
{
    const std::u16string module = BesideProgram(defaultModuleName);
    std::string version;
    if (!ReadModuleVersion(module, version)) {
        std::fprintf(stderr, "trellan: cannot read the version of %s\n", ToUtf8(module).c_str());
        return exitFailure;
    }
    std::printf("trellan %s\n", version.c_str());
    return exitSuccess;
}

// Finds the command that `args` names from `next` on; moves `next` past
// its name. Null when there is none.
const CommandRow* FindCommand(const Arguments& args, size_t& next)
{
    for (const CommandRow& row : commandTable) {
        if (args[next] != row.name)
            continue;
        if (!row.subcommand) {
            next += 1;
            return &row;
        }
        if (next + 1 < args.size() && args[next + 1] == row.subcommand) {
            next += 2;
            return &row;
        }
    }
    return nullptr;
}

bool IsCommandWord(const std::u16string& word)
{
    for (const CommandRow& row : commandTable)
        if (word == row.name)
            return true;
    return false;
}

}  // namespace

int RunCommandLine(const Arguments& args)
{
    size_t next = 0;
    while (next < args.size() && args[next].size() > 1 && args[next][0] == u'-') {
        const std::u16string& option = args[next];
        if (option == u"--registry" && next + 1 < args.size()) {
            if (!UseRegistryFile(args[next + 1]))
                std::fprintf(stderr, "trellan: --registry is not supported on this platform\n");
            next += 2;
        } else if (option == u"--help" || option == u"-h") {
            PrintUsage(stdout);
            return exitSuccess;
        } else if (option == u"--version") {
            return PrintVersion();
        } else {
            std::fprintf(stderr, "trellan: %s %s\n",
                         option == u"--registry" ? "--registry needs a value (PATH):" : "unknown option",
                         ToUtf8(option).c_str());
            PrintUsage(stderr);
            return exitUsage;
        }
    }
    if (next == args.size()) {
        PrintUsage(stderr);
        return exitUsage;
    }

    const size_t wordAt = next;
    const CommandRow* command = FindCommand(args, next);
    if (!command) {
        if (IsCommandWord(args[wordAt])) {
            // "trellan reg" with no subcommand, or one it does not have.
            const bool help = wordAt + 1 < args.size() && (args[wordAt + 1] == u"--help" || args[wordAt + 1] == u"-h");
            if (!help && wordAt + 1 < args.size())
                std::fprintf(stderr, "trellan: unknown command %s %s\n", ToUtf8(args[wordAt]).c_str(),
                             ToUtf8(args[wordAt + 1]).c_str());
            PrintUsage(help ? stdout : stderr, args[wordAt].c_str());
            return help ? exitSuccess : exitUsage;
        }
        std::fprintf(stderr, "trellan: unknown command %s\n", ToUtf8(args[wordAt]).c_str());
        PrintUsage(stderr);
        return exitUsage;
    }

    ParsedArguments parsed;
    std::string error;
    if (!ParseArguments(Arguments(args.begin() + next, args.end()), *command->syntax, parsed, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        PrintCommandUsage(stderr, *command->syntax, false);
        return exitUsage;
    }
    if (parsed.Has("--help")) {
        PrintCommandUsage(stdout, *command->syntax, true);
        return exitSuccess;
    }
    const int code = command->run(parsed);
    if (code == exitUsage)
        PrintCommandUsage(stderr, *command->syntax, false);
    return code;
}

}  // namespace host
