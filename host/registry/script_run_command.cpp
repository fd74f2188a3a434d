// trellan script run FILE [--unregister] [--set NAME=VALUE]...: runs a
// registry script file (.regscript) against the registry, in one registry
// transaction, and prints the result.
#include "cli/commands.h"

#include "text/text_conversion.h"
#include "cli/options.h"
#include "registry/registry_session.h"
#include "text/text_decoding.h"
#include "replacement_map.h"
#include "script_parser.h"
#include "text/status_names.h"

#include <cstdio>

namespace host {

namespace {

const OptionRow scriptRunOptions[] = {
    {"--unregister", 0, nullptr, "run the script in unregister mode"},
    {"--set", 0, "NAME=VALUE", "replace %NAME% in the script with VALUE (may be given many times)"},
};

}  // namespace

const CommandSyntax scriptRunSyntax = {
    "script run", "FILE", "Runs a registry script file against the registry and prints the result.",
    scriptRunOptions, sizeof scriptRunOptions / sizeof scriptRunOptions[0], 1, 1};

int RunScriptRun(const ParsedArguments& args)
{
    const bool registerMode = !args.Has("--unregister");
    trellan::ReplacementMap map;
    for (const std::u16string& assignment : args.Values("--set")) {
        size_t equals = assignment.find(u'=');
        if (equals == std::u16string::npos || equals == 0) {
            std::fprintf(stderr, "trellan script run: --set needs NAME=VALUE, not %s\n", ToUtf8(assignment).c_str());
            return exitUsage;
        }
        std::basic_string<WCHAR> name(assignment.begin(), assignment.begin() + equals);
        std::basic_string<WCHAR> value(assignment.begin() + equals + 1, assignment.end());
        if (FAILED(map.Add(name.c_str(), value.c_str()))) {
            std::fprintf(stderr, "trellan script run: out of memory\n");
            return exitFailure;
        }
    }
    const std::u16string* file = &args.Operands()[0];

    std::u16string text;
    std::string error;
    const TextKind scriptText = {"a registry script", size_t(64) << 20};
    if (!ReadTextFile(*file, scriptText, &text, &error)) {
        std::fprintf(stderr, "trellan script run: %s\n", error.c_str());
        return exitFailure;
    }
    if (text.find_first_not_of(u" \t\r\n") == std::u16string::npos) {
        std::fprintf(stderr, "trellan script run: %s holds no script: it is empty\n", ToUtf8(*file).c_str());
        return exitFailure;
    }
    // What a failed script leaves (the blocks before the failing one, what
    // the recovery pass could not undo) is the script's own result: it is
    // committed as it stands.
    RegistryWrite transaction("trellan script run");
    if (!transaction.Began())
        return exitFailure;
    std::basic_string<WCHAR> script(text.begin(), text.end());
    trellan::ScriptParser parser(&map);
    // As RunScript does, in its two steps, so that a failure can be placed
    // on its line of the expanded script.
    LPWSTR expanded = nullptr;
    HRESULT result = parser.ExpandReplacements(script.c_str(), &expanded);
    if (SUCCEEDED(result))
        result = parser.RunRootBlocks(expanded, registerMode);
    std::printf("%s\n", StatusName(result).c_str());
    if (FAILED(result)) {
        std::string where;
        if (expanded) {
            const LPCWSTR stop = parser.failedAt ? parser.failedAt : parser.cursor;
            size_t line = 1;
            for (LPCWSTR at = expanded; stop && at < stop && *at; ++at)
                line += *at == u'\n';
            where = ", line " + std::to_string(line);
        }
        std::fprintf(stderr, "trellan script run: %s%s: %s\n", ToUtf8(*file).c_str(), where.c_str(),
                     result == DISP_E_EXCEPTION ? "the script is malformed here (DISP_E_EXCEPTION)"
                                                : StatusName(result).c_str());
    }
    CoTaskMemFree(expanded);
    if (!transaction.Commit())
        return exitFailure;
    return SUCCEEDED(result) ? exitSuccess : exitFailure;
}

}  // namespace host
