// trellan register [MODULE] and trellan unregister [MODULE]: call the
// module's registration exports, as the platform's registration tool does.
#include "arguments.h"
#include "commands.h"
#include "console.h"
#include "reg_session.h"

#include <cstdio>

namespace host {
namespace {

int CallRegistrationExport(const Arguments& args, const char* command, const char* exportName)
{
    if (args.size() > 1) {
        std::fprintf(stderr, "usage: %s [MODULE]\n", command);
        return 2;
    }
    const std::u16string module = args.empty() ? BesideProgram(defaultModuleName) : args[0];
    // Everything the module writes is one transaction, committed whatever
    // the export answers: what a failed registration leaves is the module's
    // own doing (its recovery pass), as with the platform's tool.
    RegistryWrite transaction(command);
    if (!transaction.Began())
        return 1;

    HMODULE handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(module.c_str()));
    if (!handle) {
        std::fprintf(stderr, "trellan: cannot load %s: %s\n", ToUtf8(module).c_str(),
                     StatusName(HRESULT_FROM_WIN32(GetLastError())).c_str());
        return 1;
    }
    using RegistrationExport = HRESULT(STDAPICALLTYPE*)();
    auto function = reinterpret_cast<RegistrationExport>(reinterpret_cast<void*>(GetProcAddress(handle, exportName)));
    int exitCode = 1;
    if (!function) {
        std::fprintf(stderr, "trellan: %s exports no %s\n", ToUtf8(module).c_str(), exportName);
    } else {
        HRESULT result = function();
        std::printf("%s %s: %s\n", exportName, ToUtf8(module).c_str(), StatusName(result).c_str());
        exitCode = SUCCEEDED(result) ? 0 : 1;
    }
    FreeLibrary(handle);
    return transaction.Commit() ? exitCode : 1;
}

}  // namespace

int RunRegister(const Arguments& args)
{
    return CallRegistrationExport(args, "trellan register", "DllRegisterServer");
}

int RunUnregister(const Arguments& args)
{
    return CallRegistrationExport(args, "trellan unregister", "DllUnregisterServer");
}

}  // namespace host
