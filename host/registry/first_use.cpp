// The first-use check looks up a filter for .mp3, .wma, .wmv and .asf as
// any file would, and registers the shipped module through its
// DllRegisterServer in one registry transaction. A default registry that
// cannot be made, opened or written falls back to one in memory; a damaged
// or busy one does not, as that is the user's to see to.
#include "registry/first_use.h"

#include "filtering/filter_lookup.h"
#include "regfile/key_path.h"
#include "registry/module_registration.h"
#include "registry/registry_session.h"
#include "system/platform_differences.h"
#include "text/status_names.h"
#include "text/text_conversion.h"

#include <cstdio>
#include <string>

namespace host {
namespace {

const char16_t* const mediaExtensions[] = {u".mp3", u".wma", u".wmv", u".asf"};

// What the registry holds for the media types.
struct RegistryFinding {
    std::string missing;        // ".mp3, .wma": no filter registered
    std::u16string goneModule;  // a registered module that is not there
};

RegistryFinding Inspect()
{
    RegistryFinding finding;
    for (const char16_t* extension : mediaExtensions) {
        FilterLocation location;
        std::string problem;
        if (FAILED(FindFilter(u"file" + std::u16string(extension), location, problem)))
            finding.missing += (finding.missing.empty() ? "" : ", ") + ToUtf8(extension);
        else if (finding.goneModule.empty() && !PathExists(location.modulePath))
            finding.goneModule = location.modulePath;
    }
    return finding;
}

// The registry's file cannot be kept: one in memory for this run instead.
bool FallBackToMemory(const std::string& path, const std::string& why)
{
    if (!UseMemoryRegistry())
        return false;
    std::fprintf(stderr, "trellan: cannot keep the registry at %s (%s); using one in memory for this run, "
                 "with the filter installed with trellan\n",
                 path.c_str(), why.c_str());
    return true;
}

// Registers `module`, saying so when the registry is a file (one in memory
// was announced already).
void Register(const std::u16string& module, const RegistryFinding& finding, bool say)
{
    RegistryWrite transaction("trellan");
    if (!transaction.Began())
        return;
    HRESULT result = E_FAIL;
    std::string problem;
    if (!CallRegistrationExport(module, "DllRegisterServer", result, problem)) {
        std::fprintf(stderr, "trellan: cannot register the shipped filter: %s\n", problem.c_str());
        return;
    }
    if (FAILED(result)) {
        std::fprintf(stderr, "trellan: registering the shipped filter %s failed: %s\n", ToUtf8(module).c_str(),
                     StatusName(result).c_str());
        return;
    }
    if (!transaction.Commit() || !say)
        return;
    bool writable = false;
    std::string path;
    OpenRegistry(&writable, &path);
    const std::string why = finding.missing.empty()
                                ? "the registered " + ToUtf8(finding.goneModule) + " is gone"
                                : "no filter was registered for " + finding.missing;
    std::fprintf(stderr, "trellan: registered the filter %s in %s (%s)\n", ToUtf8(module).c_str(), path.c_str(),
                 why.c_str());
}

}  // namespace

void PrepareRegistryForFiltering()
{
    const bool ours = RegistryIsDefault();
    bool inMemory = false;
    bool writable = false;
    std::string path;
    const LONG opened = OpenRegistry(&writable, &path);
    if (opened != ERROR_SUCCESS) {
        // A damaged or busy registry is the user's to see to; a home that
        // takes no files is not.
        if (!ours || opened == ERROR_REGISTRY_CORRUPT || opened == ERROR_BUSY ||
            !FallBackToMemory(path, "it cannot be made or opened: " + RegistryErrorName(opened)))
            return;
        inMemory = true;
    }

    const RegistryFinding finding = Inspect();
    if (finding.missing.empty() && finding.goneModule.empty())
        return;
    bool shipped = false;
    const std::u16string module = ShippedModule(&shipped);
    if (!shipped)
        return;  // each file then says what is missing
    if (!ours) {
        const std::string what = finding.missing.empty()
                                     ? "the filter module " + ToUtf8(finding.goneModule) + " registered in " + path +
                                           " is gone"
                                     : "no filter is registered for " + finding.missing + " in " + path;
        std::fprintf(stderr, "trellan: %s; '%s' registers the one installed with trellan (%s)\n", what.c_str(),
                     RegisterCommandFor(path).c_str(), ToUtf8(module).c_str());
        return;
    }
    if (!writable && !inMemory) {
        if (!FallBackToMemory(path, "it can only be read"))
            return;
        inMemory = true;
    }
    Register(module, finding, !inMemory);
}

}  // namespace host
