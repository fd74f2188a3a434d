// Runs arbitrary script text through the registry-script interpreter in
// register and in unregister mode, against a fresh in-memory registry for
// every input. Any crash, sanitizer report or leaked key handle is a
// finding.
#include "replacement_map.h"
#include "script_parser.h"

#include <win32/registry_control.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Lenient UTF-8: well-formed sequences (encoded surrogates included, so that
// lone surrogates reach the interpreter) become their units; any other byte
// stands for itself.
std::u16string Decode(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i < size;) {
        uint8_t lead = data[i];
        int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
        if (lead >= 0xF5)
            extra = 0;
        uint32_t code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : extra == 1 ? lead & 0x1F : lead;
        bool wellFormed = i + extra < size;
        for (int k = 1; wellFormed && k <= extra; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                wellFormed = false;
            else
                code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (!wellFormed || code > 0x10FFFF) {
            extra = 0;
            code = lead;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return text;
}

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
    PlatformRegistry_Reset();
    const std::u16string text = Decode(data, size);

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
    return 0;
}
