// Reading the entries of a compiled resource file. Each entry starts on a
// 4-byte boundary: data size, header size, type, name (each an 0xFFFF
// ordinal or a NUL-terminated UTF-16 text), padding, then data version,
// memory flags, language, version and characteristics; the data follows the
// header.
#include "resource_directory.h"

#include <cstring>

namespace platform::resources {
namespace {

constexpr size_t Align4(size_t offset) { return (offset + 3) & ~size_t(3); }

template <typename Value>
Value ReadAt(const BYTE* data, size_t offset)
{
    Value value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

char16_t UpperCase(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Reads a type or name at `offset` within a header that ends at `end`.
bool ReadId(const BYTE* data, size_t& offset, size_t end, ResourceId& id)
{
    if (end - offset < 2)
        return false;
    if (ReadAt<WORD>(data, offset) == 0xFFFF) {
        if (end - offset < 4)
            return false;
        id.isNumber = true;
        id.number = ReadAt<WORD>(data, offset + 2);
        offset += 4;
        return true;
    }
    id.isNumber = false;
    for (;;) {
        if (end - offset < 2)
            return false;
        char16_t unit = ReadAt<char16_t>(data, offset);
        offset += 2;
        if (unit == 0)
            return true;
        id.text += UpperCase(unit);
    }
}

// The fixed part of a header after its type and name.
constexpr size_t tailSize = 16;
constexpr size_t smallestHeader = 8 + 4 + 4 + tailSize;

bool ReadEntry(const BYTE* data, size_t offset, size_t size, ResourceEntry& entry, size_t& next)
{
    DWORD dataSize = ReadAt<DWORD>(data, offset);
    DWORD headerSize = ReadAt<DWORD>(data, offset + 4);
    size_t left = size - offset;
    if (headerSize < smallestHeader || headerSize > left || dataSize > left - headerSize)
        return false;
    size_t headerEnd = offset + headerSize;
    size_t cursor = offset + 8;
    if (!ReadId(data, cursor, headerEnd, entry.type) || !ReadId(data, cursor, headerEnd, entry.name))
        return false;
    cursor = Align4(cursor);
    if (cursor > headerEnd || headerEnd - cursor < tailSize)
        return false;
    entry.language = ReadAt<WORD>(data, cursor + 6);
    entry.data = data + headerEnd;
    entry.size = dataSize;
    next = Align4(headerEnd + dataSize);
    return true;
}

bool OnlyZeros(const BYTE* data, size_t offset, size_t size)
{
    for (; offset < size; ++offset)
        if (data[offset] != 0)
            return false;
    return true;
}

}  // namespace

bool ReadResourceFile(const BYTE* data, size_t size, std::vector<ResourceEntry>& entries)
{
    entries.clear();
    size_t offset = 0;
    while (offset < size) {
        // Zero bytes after the last entry are the section's padding.
        if (size - offset < smallestHeader) {
            if (OnlyZeros(data, offset, size))
                break;
            entries.clear();
            return false;
        }
        ResourceEntry entry;
        size_t next = 0;
        if (!ReadEntry(data, offset, size, entry, next)) {
            entries.clear();
            return false;
        }
        // The leading empty entry marks the format; it is no resource.
        bool marker = entry.size == 0 && entry.type.isNumber && entry.type.number == 0 && entry.name.isNumber &&
                      entry.name.number == 0;
        if (!marker)
            entries.push_back(std::move(entry));
        offset = next;
    }
    return true;
}

bool IdFromArgument(LPCWSTR argument, ResourceId& id)
{
    id = {};
    if (!argument)
        return false;
    if (IS_INTRESOURCE(argument)) {
        id.isNumber = true;
        id.number = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(argument));
        return true;
    }
    if (argument[0] == u'#') {
        DWORD number = 0;
        size_t index = 1;
        for (; argument[index] >= u'0' && argument[index] <= u'9'; ++index) {
            number = number * 10 + (argument[index] - u'0');
            if (number > 0xFFFF)
                return false;
        }
        if (index > 1 && argument[index] == 0) {
            id.isNumber = true;
            id.number = static_cast<WORD>(number);
            return true;
        }
    }
    for (size_t index = 0; argument[index] != 0; ++index)
        id.text += UpperCase(argument[index]);
    return true;
}

bool SameId(const ResourceId& a, const ResourceId& b)
{
    return a.isNumber == b.isNumber && (a.isNumber ? a.number == b.number : a.text == b.text);
}

}  // namespace platform::resources
