// The whole command line: global options, the command table, usage and
// help, and the dispatch to a command once its arguments are checked.
#include "cli/command_line.h"

#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "cli/module_version.h"
#include "cli/options.h"
#include "registry/first_use.h"
#include "registry/module_registration.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace host {
namespace {

struct CommandRow {
    const char16_t* name;
    const char16_t* subcommand;  // null: the command has none
    const CommandSyntax* syntax;
    int (*run)(const ParsedArguments& args);
    bool filtersFiles;  // the shipped filter is registered first when missing
};

const CommandRow commandTable[] = {
    {u"dump", nullptr, &dumpSyntax, RunDump, true},
    {u"register", nullptr, &registerSyntax, RunRegister, false},
    {u"unregister", nullptr, &unregisterSyntax, RunUnregister, false},
    {u"reg", u"export", &regExportSyntax, RunRegExport, false},
    {u"reg", u"import", &regImportSyntax, RunRegImport, false},
    {u"script", u"run", &scriptRunSyntax, RunScriptRun, false},
#ifdef TRELLAN_HOST_INDEX
    // The index keeps its data in SQLite, which only the Linux host links.
    {u"index", nullptr, &indexSyntax, RunIndex, true},
    {u"search", nullptr, &searchSyntax, RunSearch, false},
    {u"list", nullptr, &listSyntax, RunList, false},
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
                      "--registry PATH, before or after the command, chooses the registry database\n"
                      "(Linux; default: $TRELLAN_REGISTRY, else\n"
                      "${XDG_DATA_HOME:-~/.local/share}/trellan/registry.sqlite).\n"
                      "%s\n",
                 exitStatusLine);
}

int PrintVersion()
{
    const std::u16string module = ShippedModule();
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

// Takes the global option "--registry PATH" or "--registry=PATH" at
// `args[at]`, moving `at` past it. False when `args[at]` is not that
// option; `error` is set when it is, without its value.
bool TakeRegistryOption(const Arguments& args, size_t& at, std::string& error)
{
    static const std::u16string name = u"--registry";
    const std::u16string& option = args[at];
    std::u16string path;
    if (option == name) {
        if (at + 1 >= args.size()) {
            error = "trellan: --registry needs a value (PATH)";
            return true;
        }
        path = args[at + 1];
        at += 2;
    } else if (option.size() > name.size() && option.compare(0, name.size(), name) == 0 &&
               option[name.size()] == u'=') {
        path = option.substr(name.size() + 1);
        at += 1;
    } else {
        return false;
    }
    if (path.empty())
        error = "trellan: --registry needs a value (PATH)";
    else if (!UseRegistryFile(path))
        std::fprintf(stderr, "trellan: --registry is not supported on this platform\n");
    return true;
}

// The command's own arguments, with the global options among them taken
// out (they may follow the command's name); up to "--", after which
// everything is an operand.
bool CommandArguments(const Arguments& args, size_t from, Arguments& own, std::string& error)
{
    size_t at = from;
    while (at < args.size()) {
        if (args[at] == u"--") {
            own.insert(own.end(), args.begin() + at, args.end());
            break;
        }
        if (TakeRegistryOption(args, at, error)) {
            if (!error.empty())
                return false;
            continue;
        }
        own.push_back(args[at++]);
    }
    return true;
}

}  // namespace

int RunCommandLine(const Arguments& args, void (*handOffIndexRun)())
{
    size_t next = 0;
    while (next < args.size() && args[next].size() > 1 && args[next][0] == u'-') {
        const std::u16string& option = args[next];
        std::string error;
        if (TakeRegistryOption(args, next, error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                PrintUsage(stderr);
                return exitUsage;
            }
        } else if (option == u"--help" || option == u"-h") {
            PrintUsage(stdout);
            return exitSuccess;
        } else if (option == u"--version") {
            return PrintVersion();
        } else {
            std::fprintf(stderr, "trellan: unknown option %s\n", ToUtf8(option).c_str());
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
    if (handOffIndexRun && std::u16string_view(command->name) == u"index")
        handOffIndexRun();

    ParsedArguments parsed;
    std::string error;
    Arguments own;
    if (!CommandArguments(args, next, own, error) || !ParseArguments(own, *command->syntax, parsed, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        PrintCommandUsage(stderr, *command->syntax, false);
        return exitUsage;
    }
    if (parsed.Has("--help")) {
        PrintCommandUsage(stdout, *command->syntax, true);
        return exitSuccess;
    }
    // dump --module asks no registry; index --status and --forget filter
    // nothing.
    if (command->filtersFiles && !parsed.Has("--module") && !parsed.Has("--status") && !parsed.Has("--forget"))
        PrepareRegistryForFiltering();
    const int code = command->run(parsed);
    if (code == exitUsage)
        PrintCommandUsage(stderr, *command->syntax, false);
    return code;
}

}  // namespace host
