// trellan dump [--json] [--module PATH] [--buffer UNITS] FILE...
//
// Filters each file and prints its chunks. The filter of each file is found
// through the registry, unless --module names the module to use. A file that fails prints its
// status; the command goes on with the next file and exits non-zero at the
// end.
#include "arguments.h"
#include "chunk_printer.h"
#include "com_ptr.h"
#include "commands.h"
#include "console.h"
#include "filter_loader.h"
#include "filter_lookup.h"
#include "reg_session.h"
#include "trellan_ids.h"

#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

struct DumpOptions {
    bool json = false;
    std::u16string module;
    ULONG bufferUnits = 256;
    std::vector<std::u16string> files;
};

bool ParseDumpOptions(const Arguments& args, DumpOptions& options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (arg == u"--json") {
            options.json = true;
        } else if (arg == u"--module" && i + 1 < args.size()) {
            options.module = args[++i];
        } else if (arg == u"--buffer" && i + 1 < args.size()) {
            long units = std::strtol(ToUtf8(args[++i]).c_str(), nullptr, 10);
            if (units <= 0 || units > 1 << 20) {
                std::fprintf(stderr, "trellan dump: --buffer needs a number of units from 1 to 1048576\n");
                return false;
            }
            options.bufferUnits = static_cast<ULONG>(units);
        } else if (arg == u"--") {
            options.files.insert(options.files.end(), args.begin() + i + 1, args.end());
            break;
        } else if (arg.rfind(u"--", 0) == 0) {
            std::fprintf(stderr, "trellan dump: unknown option %s\n", ToUtf8(arg).c_str());
            return false;
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) {
        std::fprintf(stderr, "usage: trellan dump [--json] [--module PATH] [--buffer UNITS] FILE...\n");
        return false;
    }
    return true;
}

}  // namespace

int RunDump(const Arguments& args)
{
    DumpOptions options;
    if (!ParseDumpOptions(args, options))
        return 2;
    if (options.module.empty() && !RegistryReady("trellan dump", false))
        return 1;

    int failures = 0;
    {
        FilterLoader loader;
        for (const std::u16string& path : options.files) {
            FileRecord record;
            record.path = path;
            // --module forces one module; otherwise the registry says.
            FilterLocation location{CLSID_WMFilter, options.module};
            if (options.module.empty())
                record.status = FindFilter(path, location, record.problem);
            trellan::ComPtr<IFilter> filter;
            if (SUCCEEDED(record.status))
                record.status = loader.CreateFilter(location.modulePath, location.clsid, filter.Receive());
            if (SUCCEEDED(record.status))
                WalkFile(filter.Get(), record, options.bufferUnits);
            filter.Reset();

            if (FAILED(record.status))
                ++failures;
            if (options.json)
                PrintFileJson(stdout, record);
            else
                PrintFileText(stdout, record);
            std::fflush(stdout);
        }
        if (!loader.CheckUnload(options.json))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace host
