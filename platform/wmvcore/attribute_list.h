// The editor's model of a file's header: its attributes in enumeration
// order, each with the runtime's name, type, stream number, language index
// and value bytes.
#pragma once

#include "tag_bytes.h"

#include <win32/wmsdk.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// Stream number under which the level-3 interface lists every attribute.
constexpr WORD allStreams = 0xFFFF;

struct MediaAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    std::vector<BYTE> value;  // as the runtime delivers it: strings UTF-16 with their NUL
    // The rest of a binary value, left in the file and read from it when a
    // caller asks for the value (a picture's data, an object's bytes).
    StoredBytes inFile;
    WORD stream = 0;    // 0: the file itself
    WORD language = 0;  // index into the file's language list

    // The length of the whole value, in bytes.
    uint64_t Length() const { return value.size() + inFile.length; }
};

// Value bytes for each of the runtime's types.
std::vector<BYTE> StringValue(const std::u16string& text);
std::vector<BYTE> DwordValue(DWORD value);
std::vector<BYTE> QwordValue(QWORD value);
std::vector<BYTE> WordValue(WORD value);
std::vector<BYTE> BoolValue(bool value);

// The most attributes a file may have: counts and indices travel as 16-bit
// numbers.
constexpr size_t mostAttributes = 0xFFFF;

class AttributeList {
public:
    AttributeList() = default;
    AttributeList(const AttributeList&) = delete;  // its views point into it
    AttributeList& operator=(const AttributeList&) = delete;

    // Adds an attribute at the end. False, with nothing added, when the list
    // already holds mostAttributes or the name is longer than a 16-bit
    // length with its NUL can report.
    bool Add(MediaAttribute attribute);

    // The attributes visible under `stream`: those held on that stream, or
    // all of them for allStreams.
    WORD Count(WORD stream) const;
    // The index-th attribute visible under `stream`, or null.
    const MediaAttribute* At(WORD stream, WORD index) const;
    // The indices, under `stream`, of the attributes named `name`, in
    // enumeration order; null when there is none. The names of a view are
    // indexed at the first look-up in it, so this is not to be called from
    // two threads at once.
    const std::vector<WORD>* IndicesOf(WORD stream, const std::u16string& name) const;

    // Makes room for `count` attributes in all.
    void Reserve(size_t count) { attributes.reserve(count); }
    void Clear();
    // Empties the list, handing its attributes over.
    std::vector<MediaAttribute> TakeAll();
    bool Empty() const { return attributes.empty(); }
    const std::vector<MediaAttribute>& All() const { return attributes; }

private:
    // One stream's view: the positions of its attributes in `attributes`
    // (not kept for allStreams, where they are the positions themselves),
    // and, once a name has been looked up, the indices of each name within
    // the view.
    struct View {
        std::vector<WORD> members;
        bool named = false;
        std::unordered_map<std::u16string, std::vector<WORD>> byName;
    };
    View* ViewOf(WORD stream) const;

    std::vector<MediaAttribute> attributes;
    mutable View all;
    mutable std::unordered_map<WORD, View> streams;
    View* lastView = nullptr;  // the view of `lastStream`
    WORD lastStream = 0;
};

}  // namespace platform
