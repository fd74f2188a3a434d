// The resource reader over arbitrary bytes: the compiled resource format on
// its own, the search for the ".rsrc" section of an ELF image, and, for an
// image, a data-file load with FindResourceW/FindResourceExW, LoadResource
// and SizeofResource for every entry that the reader lists. Any crash,
// sanitizer report, entry outside its bytes or lookup that disagrees with
// the listing is a finding.
#include "finding.h"
#include "kernel32/resource_directory.h"
#include "kernel32/resource_section.h"
#include "scratch_files.h"

#include <win32/modules.h>
#include <win32/resources.h>

#include <cstring>

const char* const fuzzing::fuzzerName = "resources_fuzzer";

namespace {

using fuzzing::Finding;

using namespace platform::resources;

bool Inside(const uint8_t* piece, size_t length, const uint8_t* data, size_t size)
{
    return piece >= data && piece <= data + size && length <= static_cast<size_t>(data + size - piece);
}

std::vector<ResourceEntry> ReadEntries(const uint8_t* data, size_t size)
{
    std::vector<ResourceEntry> entries;
    if (!ReadResourceFile(data, size, entries)) {
        if (!entries.empty())
            Finding("a refused resource file left entries");
        return entries;
    }
    for (const ResourceEntry& entry : entries)
        if (!Inside(entry.data, entry.size, data, size))
            Finding("an entry's data lies outside the file");
    return entries;
}

// What a lookup passes for an id: MAKEINTRESOURCEW(n), "#0" for the number
// 0 (MAKEINTRESOURCEW(0) is a null pointer), or the name's text.
LPCWSTR Argument(const ResourceId& id)
{
    if (!id.isNumber)
        return id.text.c_str();
    return id.number ? MAKEINTRESOURCEW(id.number) : u"#0";
}

void LookUpEveryEntry(const std::string& path, const std::vector<ResourceEntry>& entries)
{
    const std::u16string widePath(path.begin(), path.end());  // the scratch path is ASCII
    HMODULE module = LoadLibraryExW(widePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return;
    for (size_t i = 0; i < entries.size() && i < 64; ++i) {
        const ResourceEntry& entry = entries[i];
        // A text id that begins with "#" reads as a number when it is looked
        // up, as on Windows: such an entry cannot be found by its text.
        auto unreachable = [](const ResourceId& id) { return !id.isNumber && !id.text.empty() && id.text[0] == u'#'; };
        if (unreachable(entry.name) || unreachable(entry.type))
            continue;
        if (!FindResourceW(module, Argument(entry.name), Argument(entry.type)))
            Finding("FindResourceW misses a listed entry");
        HRSRC found = FindResourceExW(module, Argument(entry.type), Argument(entry.name), entry.language);
        if (!found)
            Finding("FindResourceExW misses a listed entry");
        // The first entry of the same type, name and language is the one found.
        const ResourceEntry* first = &entry;
        for (size_t j = 0; j < i; ++j)
            if (SameId(entries[j].type, entry.type) && SameId(entries[j].name, entry.name) &&
                entries[j].language == entry.language) {
                first = &entries[j];
                break;
            }
        const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
        if (SizeofResource(module, found) != first->size || (first->size && !bytes) ||
            (bytes && std::memcmp(bytes, first->data, first->size) != 0))
            Finding("a found resource's bytes differ from the listing");
    }
    FindResourceW(module, MAKEINTRESOURCEW(101), u"REGISTRY");
    FindResourceW(module, u"#1", u"TYPELIB");
    FindResourceW(module, u"#99999", RT_VERSION);
    FreeLibrary(module);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReadEntries(data, size);

    ByteRange section;
    const SectionSearch search = FindElfSection(data, size, ".rsrc", section);
    if (search != SectionSearch::found)
        return 0;
    if (!Inside(section.data, section.size, data, size))
        Finding("the section lies outside the image");
    const std::vector<ResourceEntry> entries = ReadEntries(section.data, section.size);
    LookUpEveryEntry(fuzzing::ScratchFiles::Write("image.so", data, size), entries);
    return 0;
}
