// The editor's model of a file's header: its attributes in enumeration
// order, each with the runtime's name, type, stream number, language index
// and value bytes.
#pragma once

#include <win32/wmsdk.h>

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Stream number under which the level-3 interface lists every attribute.
constexpr WORD allStreams = 0xFFFF;

struct MediaAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    std::vector<BYTE> value;  // as the runtime delivers it: strings UTF-16 with their NUL
    WORD stream = 0;          // 0: the file itself
    WORD language = 0;        // index into the file's language list
};

// Value bytes for each of the runtime's types.
std::vector<BYTE> StringValue(const std::u16string& text);
std::vector<BYTE> DwordValue(DWORD value);
std::vector<BYTE> QwordValue(QWORD value);
std::vector<BYTE> WordValue(WORD value);
std::vector<BYTE> BoolValue(bool value);

class AttributeList {
public:
    // Adds an attribute at the end. An attribute that the interfaces could
    // not report (a name longer than a 16-bit length can hold, or a list
    // already holding 0xFFFF attributes) is dropped; answers whether it was
    // kept.
    bool Add(MediaAttribute attribute);
    // Convenience for string attributes; an empty text is kept as well.
    bool AddString(std::u16string name, const std::u16string& text, WORD stream = 0, WORD language = 0);

    // The attributes visible under `stream`: those held on that stream, or
    // all of them for allStreams.
    WORD Count(WORD stream) const;
    // The index-th attribute visible under `stream`, or null.
    const MediaAttribute* At(WORD stream, WORD index) const;

    void Clear() { attributes.clear(); }
    bool Empty() const { return attributes.empty(); }
    const std::vector<MediaAttribute>& All() const { return attributes; }

private:
    std::vector<MediaAttribute> attributes;
};

}  // namespace platform
