// Runs arbitrary script text through the registry-script interpreter in
// register and in unregister mode, against an empty in-memory registry for
// every input: each input runs inside one command transaction that is rolled
// back at its end, as a failed command's would be, which costs a fraction of
// opening a new database. Any crash, sanitizer report or leaked key handle is
// a finding.
#include "fuzz_input.h"
#include "replacement_map.h"
#include "script_parser.h"

#include <win32/registry_control.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void CheckNoHandleLeft(const char* step)
{
    if (PlatformRegistry_OpenHandleCount() != 0) {
        std::fprintf(stderr, "script_fuzzer: %s left %ld key handle(s) open\n", step,
                     PlatformRegistry_OpenHandleCount());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TRELLAN_REGISTRY", ":memory:", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (PlatformRegistry_BeginWrite() != ERROR_SUCCESS) {
        std::fprintf(stderr, "script_fuzzer: the in-memory registry refused a transaction\n");
        std::abort();
    }
    const std::u16string text = fuzzing::DecodeLenientUtf8(data, size);

    trellan::ScriptParser parser;
    parser.RunRootBlocks(text.c_str(), true);
    CheckNoHandleLeft("register");
    parser.RunRootBlocks(text.c_str(), false);
    CheckNoHandleLeft("unregister");

    // Texts with references also go through the expansion step.
    if (text.find(u'%') != std::u16string::npos) {
        trellan::ReplacementMap map;
        map.Add(u"Module", u"/opt/it''s/trellan.so");
        trellan::ScriptParser expanding(&map);
        expanding.RunScript(text.c_str(), true);
        expanding.RunScript(text.c_str(), false);
        CheckNoHandleLeft("expanded run");
    }
    PlatformRegistry_EndWrite(FALSE);
    return 0;
}
