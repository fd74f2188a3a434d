// Runs arbitrary bytes through the .reg text reader as `trellan reg import`
// reads a file: decoding (UTF-16LE with its mark, UTF-8, 8-bit text), then
// the lines. Every value the reader accepts must also survive being written
// back as the exporter writes it and read again, unchanged. A crash, a
// sanitizer report or a value that changes on the way is a finding.
#include "text/text_decoding.h"
#include "regfile/text_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool SameValue(const host::RegValueLine& a, const host::RegValueLine& b)
{
    return a.name == b.name && a.remove == b.remove && a.type == b.type && a.data == b.data;
}

void CheckRoundTrip(const host::RegValueLine& value)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\F]\n" +
                                host::FormatValueLine(value.name, value.type, value.data) + u"\n";
    std::vector<host::RegEntry> entries;
    std::string error;
    if (!host::ReadRegText(text, &entries, &error) || entries.size() != 2 || !SameValue(entries[1].value, value)) {
        std::fprintf(stderr, "a value does not read back as it was written: %s\n", error.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = host::DecodeText(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<host::RegEntry> entries;
    std::string error;
    if (!host::ReadRegText(text, &entries, &error)) {
        if (error.empty())
            std::abort();  // a refusal always says why
        return 0;
    }
    for (const host::RegEntry& entry : entries) {
        if (entry.kind == host::RegEntry::SetValue && !entry.value.remove)
            CheckRoundTrip(entry.value);
    }
    return 0;
}
