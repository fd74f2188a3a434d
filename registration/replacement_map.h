// The %name% replacements of one script run, in insertion order. Names are
// looked up without regard to letter case; the first entry of a name wins.
#pragma once

#include "winapi.h"

namespace trellan {

struct ReplacementEntry {
    LPWSTR name;   // task allocator
    LPWSTR value;  // task allocator
};

struct ReplacementMap {
    ReplacementEntry** entries;  // process heap
    int count;
    int capacity;

    ReplacementMap();
    ~ReplacementMap();
    ReplacementMap(const ReplacementMap&) = delete;
    ReplacementMap& operator=(const ReplacementMap&) = delete;

    // Copies the name and the value into a new entry at the end.
    // S_OK or E_OUTOFMEMORY; on failure the map is as it was.
    HRESULT Add(LPCWSTR name, LPCWSTR value);
    // The value of the first entry whose name equals `name`, or null.
    LPCWSTR Lookup(LPCWSTR name) const;
    // Frees every entry; the array stays for reuse.
    void Clear();
};

// A row of a caller's list of extra replacements; the list ends at the
// first row whose name is null.
struct ScriptReplacement {
    LPCWSTR name;
    LPCWSTR value;
};

}  // namespace trellan
