// trellan register [MODULE] and trellan unregister [MODULE]: call the
// module's registration exports, as the platform's registration tool does.
#include "system/platform_differences.h"
#include "cli/commands.h"
#include "text/text_conversion.h"
#include "cli/options.h"
#include "registry/module_registration.h"
#include "registry/registry_session.h"
#include "text/status_names.h"

#include <cstdio>

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
    return transaction.Commit() ? exitCode : exitFailure;
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
