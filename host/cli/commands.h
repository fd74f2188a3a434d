// The CLI's commands. Each has its syntax (options, operands, help) and a
// function that runs it on a checked command line and answers the exit code.
#pragma once

#include <string>
#include <vector>

namespace host {

using Arguments = std::vector<std::u16string>;

struct CommandSyntax;
class ParsedArguments;

extern const CommandSyntax dumpSyntax;
int RunDump(const ParsedArguments& args);
extern const CommandSyntax registerSyntax;
int RunRegister(const ParsedArguments& args);
extern const CommandSyntax unregisterSyntax;
int RunUnregister(const ParsedArguments& args);
extern const CommandSyntax regExportSyntax;
int RunRegExport(const ParsedArguments& args);
extern const CommandSyntax regImportSyntax;
int RunRegImport(const ParsedArguments& args);
extern const CommandSyntax scriptRunSyntax;
int RunScriptRun(const ParsedArguments& args);
// Built where the host links SQLite (TRELLAN_HOST_INDEX).
extern const CommandSyntax indexSyntax;
int RunIndex(const ParsedArguments& args);
extern const CommandSyntax searchSyntax;
int RunSearch(const ParsedArguments& args);
extern const CommandSyntax listSyntax;
int RunList(const ParsedArguments& args);

}  // namespace host
