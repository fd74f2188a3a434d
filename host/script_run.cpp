// trellan script run FILE [--unregister] [--set NAME=VALUE]...: runs a
// registry script file (.regscript) against the registry, in one registry
// transaction, and prints the result.
#include "registry_commands.h"

#include "console.h"
#include "reg_session.h"
#include "reg_text_file.h"
#include "replacement_map.h"
#include "script_parser.h"

#include <cstdio>

namespace host {

int RunScriptRun(const Arguments& args)
{
    const std::u16string* file = nullptr;
    bool registerMode = true;
    trellan::ReplacementMap map;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--unregister") {
            registerMode = false;
        } else if (args[i] == u"--set" && i + 1 < args.size()) {
            const std::u16string& assignment = args[++i];
            size_t equals = assignment.find(u'=');
            if (equals == std::u16string::npos || equals == 0) {
                std::fprintf(stderr, "trellan script run: --set needs NAME=VALUE, not %s\n",
                             ToUtf8(assignment).c_str());
                return 2;
            }
            std::basic_string<WCHAR> name(assignment.begin(), assignment.begin() + equals);
            std::basic_string<WCHAR> value(assignment.begin() + equals + 1, assignment.end());
            if (FAILED(map.Add(name.c_str(), value.c_str()))) {
                std::fprintf(stderr, "trellan script run: out of memory\n");
                return 1;
            }
        } else if (!file && args[i].rfind(u"--", 0) != 0) {
            file = &args[i];
        } else {
            std::fprintf(stderr, "usage: trellan script run FILE [--unregister] [--set NAME=VALUE]...\n");
            return 2;
        }
    }
    if (!file) {
        std::fprintf(stderr, "usage: trellan script run FILE [--unregister] [--set NAME=VALUE]...\n");
        return 2;
    }

    std::u16string text;
    std::string error;
    if (!ReadTextFile(*file, &text, &error)) {
        std::fprintf(stderr, "trellan script run: %s\n", error.c_str());
        return 1;
    }
    // What a failed script leaves (the blocks before the failing one, what
    // the recovery pass could not undo) is the script's own result: it is
    // committed as it stands.
    RegistryWrite transaction("trellan script run");
    if (!transaction.Began())
        return 1;
    std::basic_string<WCHAR> script(text.begin(), text.end());
    trellan::ScriptParser parser(&map);
    HRESULT result = parser.RunScript(script.c_str(), registerMode);
    std::printf("%s\n", StatusName(result).c_str());
    if (!transaction.Commit())
        return 1;
    return SUCCEEDED(result) ? 0 : 1;
}

}  // namespace host
