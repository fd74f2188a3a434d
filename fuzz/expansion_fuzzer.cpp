// The %name% expansion of a registry script over arbitrary text, against a
// small model of it: %name% becomes the value of the first entry of that
// name (letter case aside), %% becomes %, values are not scanned again; a
// reference without its closing % or to an unknown name is
// DISP_E_EXCEPTION, a name longer than 31 units E_FAIL. Any difference, crash
// or sanitizer report is a finding.
#include "finding.h"
#include "fuzz_input.h"
#include "replacement_map.h"
#include "script_parser.h"


const char* const fuzzing::fuzzerName = "expansion_fuzzer";

namespace {

using fuzzing::Finding;

struct Entry {
    const char16_t* name;
    const char16_t* value;
};

// Values with % in them, an empty value, a name given twice, names of every
// length around the limit.
const Entry entries[] = {
    {u"Module", u"/opt/it's 100%/trellan.so"},
    {u"CLSID", u"{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"},
    {u"Empty", u""},
    {u"module", u"second entry of the name, never used"},
    {u"\u00C9t\u00E9", u"\U0001F3B5"},
    {u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE", u"31 units"},
    {u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF", u"32 units, never reached"},
};

struct Expansion {
    HRESULT status = S_OK;
    std::u16string text;
};

// The value of the first entry named `name`, letter case aside (the
// platform's own comparison), read from the table rather than the map.
const char16_t* ModelValue(const std::u16string& name)
{
    for (const Entry& entry : entries)
        if (lstrcmpiW(entry.name, name.c_str()) == 0)
            return entry.value;
    return nullptr;
}

Expansion Model(const std::u16string& text)
{
    Expansion expansion;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != u'%') {
            expansion.text += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u'%') {
            expansion.text += u'%';
            i += 2;
            continue;
        }
        const size_t close = text.find(u'%', i + 1);
        if (close == std::u16string::npos)
            return {DISP_E_EXCEPTION, {}};
        const std::u16string name = text.substr(i + 1, close - i - 1);
        if (name.size() > 31)
            return {E_FAIL, {}};
        const char16_t* value = ModelValue(name);
        if (!value)
            return {DISP_E_EXCEPTION, {}};
        expansion.text += value;
        i = close + 1;
    }
    return expansion;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text = fuzzing::DecodeLenientUtf8(data, size);
    text = text.substr(0, text.find(u'\0'));  // the expansion reads up to the NUL

    trellan::ReplacementMap map;
    for (const Entry& entry : entries)
        if (FAILED(map.Add(entry.name, entry.value)))
            Finding("the replacement map refused an entry");

    trellan::ScriptParser parser(&map);
    LPWSTR expanded = nullptr;
    const HRESULT status = parser.ExpandReplacements(text.c_str(), &expanded);
    const Expansion expected = Model(text);
    if (status != expected.status)
        Finding("the status differs from the model's");
    if (SUCCEEDED(status) != (expanded != nullptr))
        Finding("a text is handed out exactly on success");
    if (expanded && expected.text != expanded)
        Finding("the expanded text differs from the model's");
    CoTaskMemFree(expanded);
    return 0;
}
