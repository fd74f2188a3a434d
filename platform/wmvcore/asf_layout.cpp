// Walks the ASF Header Object from the file: its child objects, the Header
// Extension's child objects, and the records of the objects that carry
// attributes; and writes the header that TagLib reads.
#include "asf_layout.h"

#include "text_conversion.h"

#include <cstring>
#include <utility>

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
const GUID asfFilePropertiesObject = {0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
const GUID asfStreamPropertiesObject = {0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};

// Sizes of the fixed parts.
const size_t objectHeaderSize = 24;        // id + 64-bit size
const size_t headerObjectSize = 30;        // + 32-bit object count + 2 reserved bytes
// TagLib takes a header without File Properties and Stream Properties
// objects as no ASF header. It reads no attribute from them, and the file's
// own may be of any size, so the header it is given has zeroed ones of the
// sizes it reads; the File Properties object then gets the file's play
// duration and preroll, from which TagLib tells the play length.
const size_t filePropertiesBodySize = 80;
const size_t streamPropertiesBodySize = 78;
// In the File Properties object's body: the play duration (100-ns units),
// and the preroll (milliseconds) that it includes; TagLib reads the body
// only when it holds them and the fields after the preroll.
const size_t playDurationAt = 40;
const size_t prerollAt = 56;
const size_t filePropertiesLeast = 64;
// Where the rebuilt header's File Properties body begins.
const size_t filePropertiesBodyAt = headerObjectSize + objectHeaderSize;
// The Content Description's fields: title, author, copyright,
// description, rating.
const int contentDescriptionFields = 5;
// The types of string and binary values in the attribute records.
const WORD asfStringType = 0;
const WORD asfBinaryType = 1;

// A bounded reader over one object's bytes in the file: every read checks
// the bounds.
class Cursor {
public:
    Cursor(ByteSource& source, uint64_t start, uint64_t length) : source(&source), position(start), end(start + length) {}

    bool Remains(uint64_t count) const { return count <= end - position; }
    uint64_t Left() const { return end - position; }
    uint64_t Position() const { return position; }
    // A cursor over the next `length` bytes, which must remain.
    Cursor Part(uint64_t length) const { return Cursor(*source, position, length); }

    bool Skip(uint64_t count)
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
    // The next `count` bytes, appended to `out`.
    bool Append(size_t count, std::vector<BYTE>& out)
    {
        if (!Remains(count))
            return false;
        const size_t at = out.size();
        out.resize(at + count);
        if (!source->Copy(position, count, out.data() + at))
            return false;
        position += count;
        return true;
    }
    bool Locate(uint64_t count, StoredBytes& stored) { return Remains(count) && source->Locate(position, count, stored) && Skip(count); }

private:
    template <typename Value>
    bool Number(Value& value)
    {
        // The format is little-endian, as is the host.
        if (!Remains(sizeof value) || !source->Copy(position, sizeof value, reinterpret_cast<BYTE*>(&value)))
            return false;
        position += sizeof value;
        return true;
    }

    ByteSource* source;
    uint64_t position;
    uint64_t end;
};

// The header that TagLib reads, written object by object: an object's
// size is filled in when it is finished.
class HeaderWriter {
public:
    explicit HeaderWriter(std::vector<BYTE>& out) : out(out) {}

    template <typename Value>
    void Put(const Value& value)
    {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
        out.insert(out.end(), bytes, bytes + sizeof value);
    }
    void PutBytes(const std::vector<BYTE>& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
    // Starts an object; answers where it starts, for End.
    size_t Begin(const GUID& id)
    {
        const size_t start = out.size();
        Put(id);
        Put(QWORD(0));
        return start;
    }
    void End(size_t start)
    {
        const QWORD size = out.size() - start;
        std::memcpy(out.data() + start + sizeof(GUID), &size, sizeof size);
    }
    size_t Size() const { return out.size(); }
    void PutAt(size_t at, DWORD value) { std::memcpy(out.data() + at, &value, sizeof value); }
    void PutWordAt(size_t at, WORD value) { std::memcpy(out.data() + at, &value, sizeof value); }

private:
    std::vector<BYTE>& out;
};

// Reads the next child object from `parent`; false when its size is below
// the object header or runs past the parent.
bool NextChild(Cursor& parent, GUID& id, Cursor& body)
{
    QWORD size = 0;
    if (!parent.Guid(id) || !parent.Qword(size))
        return false;
    if (size < objectHeaderSize || size - objectHeaderSize > parent.Left())
        return false;
    body = parent.Part(size - objectHeaderSize);
    return parent.Skip(size - objectHeaderSize);
}

// A Content Description whose texts run past it is left out whole.
HRESULT ReadContentDescription(Cursor body, AsfLayout& layout, HeaderWriter& writer)
{
    WORD lengths[contentDescriptionFields];
    uint64_t total = 0;
    for (WORD& length : lengths) {
        if (!body.Word(length))
            return S_OK;
        total += length;
    }
    if (!body.Remains(total))
        return S_OK;
    for (WORD length : lengths)
        if (!layout.budget.Add(length, true))
            return overLimit;
    std::vector<BYTE> texts;
    if (!body.Append(static_cast<size_t>(total), texts))
        return NS_E_INVALID_INPUT_FORMAT;
    const size_t start = writer.Begin(asfContentDescriptionObject);
    for (WORD length : lengths)
        writer.Put(length);
    writer.PutBytes(texts);
    writer.End(start);
    layout.hasContentDescription = true;
    return S_OK;
}

std::u16string NameOf(const std::vector<BYTE>& bytes)
{
    return Utf16FromLittleEndian(bytes.data(), bytes.size());
}

// One record's value: kept for TagLib, or, when binary, left in the file and
// given to TagLib as empty. S_FALSE when it runs past its object.
HRESULT ReadValue(Cursor& body, WORD type, uint64_t length, uint64_t nameLength, AsfLayout& layout,
                  AsfAttributeRecord& record, std::vector<BYTE>& value)
{
    value.clear();
    if (!body.Remains(length))
        return S_FALSE;
    if (type == asfBinaryType) {
        if (!body.Locate(length, record.inFile))
            return NS_E_INVALID_INPUT_FORMAT;
        return layout.budget.Add(nameLength, false) ? S_OK : overLimit;
    }
    if (!layout.budget.Add(nameLength + length, type == asfStringType))
        return overLimit;
    return body.Append(static_cast<size_t>(length), value) ? S_OK : NS_E_INVALID_INPUT_FORMAT;
}

// The records of an Extended Content Description, Metadata or Metadata
// Library object: a record that runs past its object is left out with the
// ones after it (nothing shows where the next would begin); the records
// before it are kept, and their count is written when they are all read.
HRESULT ReadExtendedContentDescription(Cursor body, AsfLayout& layout, HeaderWriter& writer)
{
    WORD count = 0;
    if (!body.Word(count))
        return S_OK;
    const size_t start = writer.Begin(asfExtendedContentDescriptionObject);
    const size_t countAt = writer.Size();
    writer.Put(count);
    std::vector<BYTE> name, value;
    WORD kept = 0;
    for (; kept < count; ++kept) {
        WORD nameLength = 0;
        WORD type = 0;
        WORD valueLength = 0;
        name.clear();
        if (!body.Word(nameLength) || !body.Remains(nameLength) || !body.Append(nameLength, name) ||
            !body.Word(type) || !body.Word(valueLength))
            break;
        AsfAttributeRecord record{NameOf(name), 0, 0, {}};
        const HRESULT result = ReadValue(body, type, valueLength, nameLength, layout, record, value);
        if (result == S_FALSE)
            break;
        if (FAILED(result))
            return result;
        writer.Put(nameLength);
        writer.PutBytes(name);
        writer.Put(type);
        writer.Put(static_cast<WORD>(value.size()));
        writer.PutBytes(value);
        layout.records.push_back(std::move(record));
    }
    writer.PutWordAt(countAt, kept);
    writer.End(start);
    return S_OK;
}

// The Metadata and Metadata Library objects share their record layout; in
// the Metadata object the language field is reserved (0).
HRESULT ReadMetadataRecords(const GUID& id, Cursor body, AsfLayout& layout, HeaderWriter& writer)
{
    WORD count = 0;
    if (!body.Word(count))
        return S_OK;
    const size_t start = writer.Begin(id);
    const size_t countAt = writer.Size();
    writer.Put(count);
    std::vector<BYTE> name, value;
    WORD kept = 0;
    for (; kept < count; ++kept) {
        WORD language = 0;
        WORD stream = 0;
        WORD nameLength = 0;
        WORD type = 0;
        DWORD valueLength = 0;
        name.clear();
        if (!body.Word(language) || !body.Word(stream) || !body.Word(nameLength) || !body.Word(type) ||
            !body.Dword(valueLength) || !body.Remains(nameLength) || !body.Append(nameLength, name))
            break;
        AsfAttributeRecord record{NameOf(name), stream, language, {}};
        const HRESULT result = ReadValue(body, type, valueLength, nameLength, layout, record, value);
        if (result == S_FALSE)
            break;
        if (FAILED(result))
            return result;
        for (WORD field : {language, stream, nameLength, type})
            writer.Put(field);
        writer.Put(static_cast<DWORD>(value.size()));
        writer.PutBytes(name);
        writer.PutBytes(value);
        layout.records.push_back(std::move(record));
    }
    writer.PutWordAt(countAt, kept);
    writer.End(start);
    return S_OK;
}

HRESULT ReadHeaderExtension(Cursor body, AsfLayout& layout, HeaderWriter& writer)
{
    GUID reserved;
    WORD reserved2 = 0;
    DWORD dataSize = 0;
    if (!body.Guid(reserved) || !body.Word(reserved2) || !body.Dword(dataSize) || !body.Remains(dataSize))
        return S_OK;  // its data runs past it: left out
    const size_t start = writer.Begin(asfHeaderExtensionObject);
    writer.Put(reserved);
    writer.Put(reserved2);
    const size_t dataSizeAt = writer.Size();
    writer.Put(DWORD(0));
    Cursor data = body.Part(dataSize);
    while (data.Left() > 0) {
        GUID id;
        Cursor child = data;
        if (!NextChild(data, id, child))
            break;  // left out with what follows it; the objects before it are kept
        if (id == asfMetadataObject || id == asfMetadataLibraryObject) {
            const HRESULT result = ReadMetadataRecords(id, child, layout, writer);
            if (FAILED(result))
                return result;
        }
    }
    writer.PutAt(dataSizeAt, static_cast<DWORD>(writer.Size() - dataSizeAt - sizeof(DWORD)));
    writer.End(start);
    return S_OK;
}

// Puts the play duration and preroll of a File Properties object into the
// rebuilt header, when they give a play length that TagLib can hold (a
// positive number of milliseconds in an int); otherwise they stay zero, and
// the file has no play length. As with TagLib, a later object wins.
void CopyPlayLength(Cursor body, AsfLayout& layout)
{
    QWORD duration = 0;
    QWORD preroll = 0;
    if (body.Left() < filePropertiesLeast || !body.Skip(playDurationAt) || !body.Qword(duration) ||
        !body.Skip(prerollAt - playDurationAt - sizeof duration) || !body.Qword(preroll))
        return;
    const QWORD milliseconds = duration / 10000;
    const bool fits = preroll < milliseconds && milliseconds - preroll < 0x7FFFFFFFu;
    if (!fits)
        duration = preroll = 0;
    std::memcpy(layout.header.data() + filePropertiesBodyAt + playDurationAt, &duration, sizeof duration);
    std::memcpy(layout.header.data() + filePropertiesBodyAt + prerollAt, &preroll, sizeof preroll);
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
    if (headerSize < headerObjectSize || headerSize > file.Size())
        return NS_E_INVALID_INPUT_FORMAT;

    StoredSource source(file, 0, headerSize);
    Cursor children(source, headerObjectSize, headerSize - headerObjectSize);
    HeaderWriter writer(layout.header);
    layout.header = fixed;
    DWORD written = 0;
    for (const auto& [id, size] : {std::pair{asfFilePropertiesObject, filePropertiesBodySize},
                                   std::pair{asfStreamPropertiesObject, streamPropertiesBodySize}}) {
        const size_t start = writer.Begin(id);
        writer.PutBytes(std::vector<BYTE>(size, 0));
        writer.End(start);
        ++written;
    }
    // An object that runs past the header ends the walk: nothing shows where
    // the next would begin. The objects before it are kept; a header whose
    // first object is damaged gives nothing, and the file is refused.
    for (DWORD i = 0; i < objectCount; ++i) {
        GUID id;
        Cursor child = children;
        if (!NextChild(children, id, child)) {
            if (i == 0)
                return NS_E_INVALID_INPUT_FORMAT;
            break;
        }
        HRESULT result = S_OK;
        const size_t before = writer.Size();
        if (id == asfContentDescriptionObject) {
            result = ReadContentDescription(child, layout, writer);
        } else if (id == asfExtendedContentDescriptionObject) {
            result = ReadExtendedContentDescription(child, layout, writer);
        } else if (id == asfHeaderExtensionObject) {
            result = ReadHeaderExtension(child, layout, writer);
        } else if (id == asfFilePropertiesObject) {
            CopyPlayLength(child, layout);
            continue;
        } else {
            continue;  // nothing in it gives an attribute: neither read nor kept
        }
        if (FAILED(result))
            return result;
        written += writer.Size() != before;  // a damaged object is left out
        if (layout.header.size() > largestHeader)
            return overLimit;
    }
    // The play length is one attribute more, when the records leave room for
    // it.
    QWORD duration = 0;
    std::memcpy(&duration, layout.header.data() + filePropertiesBodyAt + playDurationAt, sizeof duration);
    if (duration != 0 && !layout.budget.Add(sizeof(QWORD), false))
        std::memset(layout.header.data() + filePropertiesBodyAt + playDurationAt, 0, sizeof duration);
    const QWORD size = layout.header.size();
    std::memcpy(layout.header.data() + 16, &size, sizeof size);
    std::memcpy(layout.header.data() + 24, &written, sizeof written);
    return S_OK;
}

}  // namespace platform
