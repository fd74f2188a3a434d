// Reads an ASF header's attributes through TagLib and puts them in file
// order. TagLib keeps the extended attributes in a map keyed by name, with
// the attributes of one name in file order; the layout walk supplies the
// order across names.
#include "asf_reading.h"

#include "play_length.h"
#include "text_conversion.h"

#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <taglib/tbytevectorstream.h>

#include <map>

namespace platform {
namespace {

// The fields of the Content Description object.
const size_t contentDescriptionFields = 5;

struct TypeRow {
    TagLib::ASF::Attribute::AttributeTypes asfType;
    WMT_ATTR_DATATYPE runtimeType;
};

const TypeRow typeTable[] = {
    {TagLib::ASF::Attribute::UnicodeType, WMT_TYPE_STRING},
    {TagLib::ASF::Attribute::BytesType, WMT_TYPE_BINARY},
    {TagLib::ASF::Attribute::BoolType, WMT_TYPE_BOOL},
    {TagLib::ASF::Attribute::DWordType, WMT_TYPE_DWORD},
    {TagLib::ASF::Attribute::QWordType, WMT_TYPE_QWORD},
    {TagLib::ASF::Attribute::WordType, WMT_TYPE_WORD},
    {TagLib::ASF::Attribute::GuidType, WMT_TYPE_GUID},
};

std::vector<BYTE> Bytes(const TagLib::ByteVector& bytes)
{
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

// The value in the runtime's layout. False for a type that TagLib does
// not know, which the runtime could not report either.
bool ConvertValue(const TagLib::ASF::Attribute& source, MediaAttribute& target)
{
    bool known = false;
    for (const TypeRow& row : typeTable)
        if (row.asfType == source.type()) {
            target.type = row.runtimeType;
            known = true;
        }
    if (!known)
        return false;

    switch (target.type) {
    case WMT_TYPE_STRING:
        target.value = StringValueOf(source.toString());
        break;
    case WMT_TYPE_BINARY:
        // TagLib keeps a well-formed "WM/Picture" as a picture, not as bytes.
        target.value = Bytes(source.toByteVector());
        if (target.value.empty() && source.toPicture().isValid())
            target.value = Bytes(source.toPicture().render());
        break;
    case WMT_TYPE_BOOL:
        target.value = BoolValue(source.toBool() != 0);
        break;
    case WMT_TYPE_DWORD:
        target.value = DwordValue(source.toUInt());
        break;
    case WMT_TYPE_QWORD:
        target.value = QwordValue(source.toULongLong());
        break;
    case WMT_TYPE_WORD:
        target.value = WordValue(source.toUShort());
        break;
    case WMT_TYPE_GUID:
        target.value = Bytes(source.toByteVector());
        break;
    }
    target.stream = static_cast<WORD>(source.stream());
    target.language = static_cast<WORD>(source.language());
    return true;
}

// False when the list is full, which the limits keep from happening.
// `inFile`: the value of a binary record, left in the file.
bool AddAttribute(AttributeList& attributes, const std::u16string& name, const TagLib::ASF::Attribute& source,
                  const StoredBytes& inFile = {})
{
    MediaAttribute attribute;
    attribute.name = name;
    if (!ConvertValue(source, attribute))
        return true;
    if (attribute.type == WMT_TYPE_BINARY)
        attribute.inFile = inFile;
    return attributes.Add(std::move(attribute));
}

// TagLib's attributes of one name, and how many of them are listed. The
// list is walked with an iterator: TagLib's lists are linked, and indexing
// one walks it from the start.
struct NameQueue {
    const TagLib::ASF::AttributeList* values;
    TagLib::ASF::AttributeList::ConstIterator next;
    unsigned int taken = 0;
};

}  // namespace

HRESULT ReadAsfAttributes(const AsfLayout& layout, AttributeList& attributes)
{
    TagLib::ByteVectorStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(layout.header.data()),
                                                       static_cast<unsigned int>(layout.header.size())));
    TagLib::ASF::File file(&stream, true);
    TagLib::ASF::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return NS_E_INVALID_INPUT_FORMAT;
    if (!AddDuration(file.audioProperties(), attributes))
        return NS_E_INVALID_INPUT_FORMAT;

    // The Content Description object always has all five fields; an empty
    // one is a field the file does not set, and is not listed.
    const struct {
        const char16_t* name;
        TagLib::String value;
    } contentDescription[] = {
        {u"Title", tag->title()},     {u"Author", tag->artist()},    {u"Copyright", tag->copyright()},
        {u"Description", tag->comment()}, {u"Rating", tag->rating()},
    };
    for (const auto& field : contentDescription) {
        if (field.value.isEmpty())
            continue;
        MediaAttribute attribute;
        attribute.name = field.name;
        attribute.value = StringValueOf(field.value);
        if (!attributes.Add(std::move(attribute)))
            return NS_E_INVALID_INPUT_FORMAT;
    }

    attributes.Reserve(1 + contentDescriptionFields + layout.records.size());
    std::map<std::u16string, NameQueue> byName;
    const TagLib::ASF::AttributeListMap& map = tag->attributeListMap();
    for (auto entry = map.begin(); entry != map.end(); ++entry)
        byName.emplace(Utf16FromTagLib(entry->first), NameQueue{&entry->second, entry->second.begin()});

    for (const AsfAttributeRecord& record : layout.records) {
        auto found = byName.find(record.name);
        if (found == byName.end() || found->second.taken >= found->second.values->size())
            continue;
        NameQueue& queue = found->second;
        if (!AddAttribute(attributes, found->first, *queue.next, record.inFile))
            return NS_E_INVALID_INPUT_FORMAT;
        ++queue.next;
        ++queue.taken;
    }
    // Whatever the walk did not name (it should name everything) follows.
    for (auto& [name, queue] : byName)
        for (; queue.taken < queue.values->size(); ++queue.next, ++queue.taken)
            if (!AddAttribute(attributes, name, *queue.next))
                return NS_E_INVALID_INPUT_FORMAT;
    return S_OK;
}

}  // namespace platform
