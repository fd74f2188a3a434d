// Walks the ASF Header Object: its child objects, the Header Extension's
// child objects, and the records of the objects that carry attributes.
#include "asf_layout.h"

#include "text_conversion.h"

#include <cstring>

namespace platform {
namespace {

// Object ids in their on-disk (little-endian) layout.
const GUID asfHeaderObject = {0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const GUID asfContentDescriptionObject = {0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const GUID asfExtendedContentDescriptionObject = {
    0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
const GUID asfHeaderExtensionObject = {0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfMetadataObject = {0xC5F8CBEA, 0x5BAF, 0x4877, {0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA}};
const GUID asfMetadataLibraryObject = {0x44231C94, 0x9498, 0x49D1, {0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54}};

// Sizes of the fixed parts.
const size_t objectHeaderSize = 24;        // id + 64-bit size
const size_t headerObjectSize = 30;        // + 32-bit object count + 2 reserved bytes
// The Content Description's fields: title, author, copyright,
// description, rating.
const int contentDescriptionFields = 5;
// The type of a string value in the attribute records.
const WORD asfStringType = 0;

// A bounded reader over one object's bytes: every read checks the bounds.
class Cursor {
public:
    Cursor(const BYTE* data, size_t length) : data(data), length(length) {}

    bool Remains(size_t count) const { return count <= length - position; }
    size_t Position() const { return position; }
    size_t Left() const { return length - position; }
    const BYTE* Here() const { return data + position; }

    bool Skip(size_t count)
    {
        if (!Remains(count))
            return false;
        position += count;
        return true;
    }
    bool Word(WORD& value) { return Number(value); }
    bool Dword(DWORD& value) { return Number(value); }
    bool Qword(QWORD& value) { return Number(value); }
    bool Guid(GUID& value) { return Number(value); }

private:
    template <typename Value>
    bool Number(Value& value)
    {
        if (!Remains(sizeof value))
            return false;
        std::memcpy(&value, data + position, sizeof value);  // the format is little-endian, as is the host
        position += sizeof value;
        return true;
    }

    const BYTE* data;
    size_t length;
    size_t position = 0;
};

// One child object: its id and a cursor over its body (after the 24-byte
// object header).
struct ChildObject {
    GUID id;
    Cursor body;
};

// Reads the next child object from `parent`; false when its size is below
// the object header or runs past the parent.
bool NextChild(Cursor& parent, ChildObject& child)
{
    GUID id;
    QWORD size = 0;
    if (!parent.Guid(id) || !parent.Qword(size))
        return false;
    if (size < objectHeaderSize || size - objectHeaderSize > parent.Left())
        return false;
    child = ChildObject{id, Cursor(parent.Here(), static_cast<size_t>(size - objectHeaderSize))};
    return parent.Skip(static_cast<size_t>(size - objectHeaderSize));
}

bool CheckContentDescription(Cursor body, AsfLayout& layout)
{
    WORD lengths[contentDescriptionFields];
    size_t total = 0;
    for (WORD& length : lengths) {
        if (!body.Word(length) || !layout.budget.Add(length, true))
            return false;
        total += length;
    }
    return body.Remains(total);
}

std::u16string NameAt(const Cursor& body, size_t byteLength)
{
    return Utf16FromLittleEndian(body.Here(), byteLength);
}

bool ReadExtendedContentDescription(Cursor body, AsfLayout& layout)
{
    WORD count = 0;
    if (!body.Word(count))
        return false;
    for (WORD i = 0; i < count; ++i) {
        WORD nameLength = 0;
        WORD type = 0;
        WORD valueLength = 0;
        if (!body.Word(nameLength) || !body.Remains(nameLength))
            return false;
        AsfAttributeRecord record{NameAt(body, nameLength), 0, 0};
        if (!body.Skip(nameLength) || !body.Word(type) || !body.Word(valueLength) || !body.Skip(valueLength) ||
            !layout.budget.Add(nameLength + valueLength, type == asfStringType))
            return false;
        layout.records.push_back(std::move(record));
    }
    return true;
}

// The Metadata and Metadata Library objects share their record layout; in
// the Metadata object the language field is reserved (0).
bool ReadMetadataRecords(Cursor body, AsfLayout& layout)
{
    WORD count = 0;
    if (!body.Word(count))
        return false;
    for (WORD i = 0; i < count; ++i) {
        WORD language = 0;
        WORD stream = 0;
        WORD nameLength = 0;
        WORD type = 0;
        DWORD valueLength = 0;
        if (!body.Word(language) || !body.Word(stream) || !body.Word(nameLength) || !body.Word(type) ||
            !body.Dword(valueLength) || !body.Remains(nameLength))
            return false;
        AsfAttributeRecord record{NameAt(body, nameLength), stream, language};
        if (!body.Skip(nameLength) || !body.Skip(valueLength) ||
            !layout.budget.Add(uint64_t(nameLength) + valueLength, type == asfStringType))
            return false;
        layout.records.push_back(std::move(record));
    }
    return true;
}

bool ReadHeaderExtension(Cursor body, AsfLayout& layout)
{
    GUID reserved;
    WORD reserved2 = 0;
    DWORD dataSize = 0;
    if (!body.Guid(reserved) || !body.Word(reserved2) || !body.Dword(dataSize) || !body.Remains(dataSize))
        return false;
    Cursor data(body.Here(), dataSize);
    while (data.Left() > 0) {
        ChildObject child{{}, Cursor(nullptr, 0)};
        if (!NextChild(data, child))
            return false;
        if (child.id == asfMetadataObject || child.id == asfMetadataLibraryObject) {
            if (!ReadMetadataRecords(child.body, layout))
                return false;
        }
    }
    return true;
}

}  // namespace

bool StartsWithAsfHeader(const std::vector<BYTE>& head)
{
    return head.size() >= sizeof(GUID) && std::memcmp(head.data(), &asfHeaderObject, sizeof(GUID)) == 0;
}

HRESULT ReadAsfLayout(const MediaFile& file, AsfLayout& layout)
{
    layout = AsfLayout{};

    std::vector<BYTE> fixed;
    if (!file.Read(0, headerObjectSize, fixed) || !StartsWithAsfHeader(fixed))
        return NS_E_INVALID_INPUT_FORMAT;
    QWORD headerSize = 0;
    DWORD objectCount = 0;
    std::memcpy(&headerSize, fixed.data() + 16, sizeof headerSize);
    std::memcpy(&objectCount, fixed.data() + 24, sizeof objectCount);
    if (headerSize < headerObjectSize || headerSize > file.Size() || headerSize > largestHeader)
        return NS_E_INVALID_INPUT_FORMAT;

    std::vector<BYTE>& header = layout.header;
    if (!file.Read(0, static_cast<size_t>(headerSize), header))
        return NS_E_FILE_OPEN_FAILED;

    Cursor children(header.data() + headerObjectSize, header.size() - headerObjectSize);
    for (DWORD i = 0; i < objectCount; ++i) {
        ChildObject child{{}, Cursor(nullptr, 0)};
        if (!NextChild(children, child))
            return NS_E_INVALID_INPUT_FORMAT;
        bool intact = true;
        if (child.id == asfContentDescriptionObject) {
            intact = CheckContentDescription(child.body, layout);
            layout.hasContentDescription = true;
        } else if (child.id == asfExtendedContentDescriptionObject) {
            intact = ReadExtendedContentDescription(child.body, layout);
        } else if (child.id == asfHeaderExtensionObject) {
            intact = ReadHeaderExtension(child.body, layout);
        }
        if (!intact)
            return NS_E_INVALID_INPUT_FORMAT;
    }
    return S_OK;
}

}  // namespace platform
