// trellan register [MODULE] and trellan unregister [MODULE]: call the
// module's registration exports, as the platform's registration tool does.
#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "cli/options.h"
#include "registry/module_registration.h"
#include "registry/registry_session.h"
#include "registry/search_reindex.h"
#include "persistent_handlers.h"
#include "text/status_names.h"

#include <cstdio>
#include <string_view>

namespace host {
namespace {

// The machine's classes (HKEY_LOCAL_MACHINE\Software\Classes, where
// registration writes) refuse this process: on Windows, a command prompt
// that is not elevated. regsvr32 reports the same failure as
// DISP_E_EXCEPTION or E_ACCESSDENIED without saying why.
bool MachineClassesRefuseWrites()
{
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes"), 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &key);
    if (opened == ERROR_SUCCESS)
        RegCloseKey(key);
    return opened == ERROR_ACCESS_DENIED;
}

int RunRegistrationCommand(const ParsedArguments& args, const char* command, const char* exportName)
{
    const std::u16string module = args.Operands().empty() ? ShippedModule() : args.Operands()[0];
    const bool registering = std::string_view(exportName) == "DllRegisterServer";
    if (registering && NativeMachineIsArm64()) {
        std::fprintf(stderr,
                     "trellan: %s: this is ARM64 Windows, whose indexer loads ARM64 filters only; this build of "
                     "Trellan (x64 or x86) would take the media types from it. Nothing was registered.\n",
                     command);
        return exitFailure;
    }
    // Everything the module writes is one transaction, committed whatever
    // the export answers: what a failed registration leaves is the module's
    // own doing (its recovery pass), as with the platform's tool.
    RegistryWrite transaction(command);
    if (!transaction.Began())
        return exitFailure;

    HRESULT result = E_FAIL;
    std::string problem;
    if (!CallRegistrationExport(module, exportName, result, problem)) {
        std::fprintf(stderr, "trellan: %s\n", problem.c_str());
        return exitFailure;
    }
    std::printf("%s %s: %s\n", exportName, ToUtf8(module).c_str(), StatusName(result).c_str());
    if (FAILED(result) && MachineClassesRefuseWrites())
        std::fprintf(stderr,
                     "trellan: %s needs an administrator: this process may not change "
                     "HKEY_LOCAL_MACHINE\\Software\\Classes. Run it from a command prompt started with "
                     "\"Run as administrator\".\n",
                     command);
    const int exitCode = SUCCEEDED(result) ? exitSuccess : exitFailure;
    if (!transaction.Commit())
        return exitFailure;
    if (exitCode == exitSuccess) {
        if (registering && !trellan::MediaRuntimePresent())
            std::printf("%s: the Windows Media Format runtime (wmvcore.dll) is missing from the system folder: "
                        "the filter is registered, but MP3, WMA, WMV and ASF files stay on the handlers they "
                        "had. Install the Media Feature Pack, then register again.\n",
                        command);
        RequestMediaReindex(command);
    }
    return exitCode;
}

}  // namespace

const CommandSyntax registerSyntax = {
    "register", "[MODULE]",
    "Calls the module's DllRegisterServer, as the platform's registration tool does. The default module is the "
    "filter installed with this program.",
    nullptr, 0, 0, 1};

const CommandSyntax unregisterSyntax = {
    "unregister", "[MODULE]",
    "Calls the module's DllUnregisterServer. The default module is the filter installed "
    "with this program.", nullptr, 0,
    0, 1};

int RunRegister(const ParsedArguments& args)
{
    return RunRegistrationCommand(args, "trellan register", "DllRegisterServer");
}

int RunUnregister(const ParsedArguments& args)
{
    return RunRegistrationCommand(args, "trellan unregister", "DllUnregisterServer");
}

}  // namespace host
