// The entries of a compiled resource file (the ".res" format): the type,
// name, language and bytes of each resource.
#pragma once

#include <win32/types.h>

#include <string>
#include <vector>

namespace platform::resources {

// A resource type or name: an integer id or an upper-case text.
struct ResourceId {
    bool isNumber = false;
    WORD number = 0;
    std::u16string text;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Reads every entry of the resource file `data` (`size` bytes). False when a
// header or its data does not fit in the bytes, or a header is malformed;
// `entries` is then empty. The entries point into `data`.
bool ReadResourceFile(const BYTE* data, size_t size, std::vector<ResourceEntry>& entries);

// The id that a caller's name or type stands for: MAKEINTRESOURCEW(n),
// "#n" in decimal, or a name (upper-cased). False for a null pointer or a
// "#" number out of range.
bool IdFromArgument(LPCWSTR argument, ResourceId& id);

bool SameId(const ResourceId& a, const ResourceId& b);

}  // namespace platform::resources
