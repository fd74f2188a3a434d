#include "replacement_map.h"

namespace trellan {
namespace {

const int initialCapacity = 10;

LPWSTR CopyText(LPCWSTR text)
{
    const size_t units = lstrlenW(text) + 1;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (copy)
        lstrcpyW(copy, text);
    return copy;
}

void FreeEntry(ReplacementEntry* entry)
{
    CoTaskMemFree(entry->name);
    CoTaskMemFree(entry->value);
    HeapFree(GetProcessHeap(), 0, entry);
}

}  // namespace

ReplacementMap::ReplacementMap()
    : entries(static_cast<ReplacementEntry**>(
          HeapAlloc(GetProcessHeap(), 0, initialCapacity * sizeof(ReplacementEntry*)))),
      count(0),
      capacity(initialCapacity)
{
}

ReplacementMap::~ReplacementMap()
{
    Clear();
    HeapFree(GetProcessHeap(), 0, entries);
}

HRESULT ReplacementMap::Add(LPCWSTR name, LPCWSTR value)
{
    // The entry record.
    auto* entry = static_cast<ReplacementEntry*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ReplacementEntry)));
    if (!entry)
        return E_OUTOFMEMORY;

    // Copies of the name and the value.
    entry->name = CopyText(name);
    entry->value = CopyText(value);
    if (!entry->name || !entry->value) {
        FreeEntry(entry);
        return E_OUTOFMEMORY;
    }

    // Room in the array. A failed growth keeps the old array, with its
    // entries, and frees the entry that found no slot.
    if (count == capacity && entries) {
        void* grown = HeapReAlloc(GetProcessHeap(), 0, entries, 2 * capacity * sizeof(ReplacementEntry*));
        if (!grown) {
            FreeEntry(entry);
            return E_OUTOFMEMORY;
        }
        entries = static_cast<ReplacementEntry**>(grown);
        capacity *= 2;
    }
    if (!entries) {
        FreeEntry(entry);
        return E_OUTOFMEMORY;
    }

    // The entry joins the map.
    entries[count++] = entry;
    return S_OK;
}

LPCWSTR ReplacementMap::Lookup(LPCWSTR name) const
{
    for (int i = 0; i < count; ++i)
        if (lstrcmpiW(entries[i]->name, name) == 0)
            return entries[i]->value;
    return nullptr;
}

void ReplacementMap::Clear()
{
    for (int i = 0; i < count; ++i)
        FreeEntry(entries[i]);
    count = 0;
}

}  // namespace trellan
