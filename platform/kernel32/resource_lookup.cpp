// FindResourceW, LoadResource, SizeofResource and LockResource over the
// resources of data-file loads and of modules loaded as code. A resource
// handle is the address of its entry in the image's record; its data is the
// bytes in the mapped file.
#include "datafile_modules.h"

#include <win32/resources.h>

using namespace platform::datafile;
using namespace platform::resources;

namespace {

// The language rule of a search without a language: neutral first, then
// the system's default language, then the first entry in file order.
constexpr int anyLanguage = -1;

const ResourceEntry* Choose(const ResourceEntry* neutral, const ResourceEntry* local, const ResourceEntry* first)
{
    return neutral ? neutral : local ? local : first;
}

// The resources behind a data-file handle or a module loaded as code.
std::shared_ptr<const DataFileImage> ImageOf(HMODULE module)
{
    if (!IsDataFileHandle(module))
        return FindLoadedModuleImage(module);
    auto image = FindDataFile(module);
    if (!image)
        SetLastError(ERROR_INVALID_HANDLE);
    return image;
}

HRSRC Find(HMODULE module, LPCWSTR type, LPCWSTR name, int language)
{
    auto image = ImageOf(module);
    if (!image)
        return nullptr;
    ResourceId typeId, nameId;
    if (!IdFromArgument(type, typeId)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!IdFromArgument(name, nameId)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const WORD localLanguage = static_cast<WORD>(GetSystemDefaultLCID() & 0xFFFF);
    bool typeSeen = false;
    bool nameSeen = false;
    const ResourceEntry *neutral = nullptr, *local = nullptr, *first = nullptr;
    for (const ResourceEntry& entry : image->entries) {
        if (!SameId(entry.type, typeId))
            continue;
        typeSeen = true;
        if (!SameId(entry.name, nameId))
            continue;
        nameSeen = true;
        if (language != anyLanguage) {
            if (entry.language == language)
                return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(&entry));
            continue;
        }
        if (!first)
            first = &entry;
        if (!neutral && entry.language == 0)
            neutral = &entry;
        if (!local && entry.language == localLanguage)
            local = &entry;
    }
    if (const ResourceEntry* chosen = Choose(neutral, local, first))
        return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(chosen));
    SetLastError(!typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
                 : !nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                             : ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
}

// The entry behind `resource` when it belongs to `module`'s load.
const ResourceEntry* EntryOf(HMODULE module, HRSRC resource)
{
    auto image = ImageOf(module);
    if (!image || !resource || image->entries.empty())
        return nullptr;
    auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
    const ResourceEntry* begin = image->entries.data();
    const ResourceEntry* end = begin + image->entries.size();
    // Compared as addresses: the handle may point anywhere.
    auto address = reinterpret_cast<ULONG_PTR>(entry);
    if (address < reinterpret_cast<ULONG_PTR>(begin) || address >= reinterpret_cast<ULONG_PTR>(end) ||
        (address - reinterpret_cast<ULONG_PTR>(begin)) % sizeof(ResourceEntry) != 0)
        return nullptr;
    return entry;
}

}  // namespace

extern "C" {

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    return Find(module, type, name, anyLanguage);
}

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    return Find(module, type, name, language);
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    const ResourceEntry* entry = EntryOf(module, resource);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(entry->data);
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    const ResourceEntry* entry = EntryOf(module, resource);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return entry->size;
}

LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}

BOOL WINAPI FreeResource(HGLOBAL data)
{
    // Resources live as long as their module, as on the platform.
    return FALSE;
}

}  // extern "C"
