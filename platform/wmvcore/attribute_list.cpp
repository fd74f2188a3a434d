// The attribute list: values in the runtime's layouts and the per-stream
// views that the header-information interfaces enumerate.
#include "attribute_list.h"

#include <cstring>

namespace platform {
namespace {

template <typename Number>
std::vector<BYTE> NumberValue(Number number)
{
    std::vector<BYTE> bytes(sizeof number);
    std::memcpy(bytes.data(), &number, sizeof number);
    return bytes;
}

bool Visible(const MediaAttribute& attribute, WORD stream)
{
    return stream == allStreams || attribute.stream == stream;
}

}  // namespace

std::vector<BYTE> StringValue(const std::u16string& text)
{
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(WCHAR), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(WCHAR));
    return bytes;
}

std::vector<BYTE> DwordValue(DWORD value) { return NumberValue(value); }
std::vector<BYTE> QwordValue(QWORD value) { return NumberValue(value); }
std::vector<BYTE> WordValue(WORD value) { return NumberValue(value); }
std::vector<BYTE> BoolValue(bool value) { return NumberValue<BOOL>(value ? TRUE : FALSE); }

bool AttributeList::Add(MediaAttribute attribute)
{
    // Name lengths travel as 16-bit counts of UTF-16 units with the NUL,
    // attribute counts and indices as 16-bit numbers.
    if (attribute.name.size() + 1 > 0xFFFF || attributes.size() >= 0xFFFF)
        return false;
    attributes.push_back(std::move(attribute));
    return true;
}

bool AttributeList::AddString(std::u16string name, const std::u16string& text, WORD stream, WORD language)
{
    MediaAttribute attribute;
    attribute.name = std::move(name);
    attribute.type = WMT_TYPE_STRING;
    attribute.value = StringValue(text);
    attribute.stream = stream;
    attribute.language = language;
    return Add(std::move(attribute));
}

WORD AttributeList::Count(WORD stream) const
{
    WORD count = 0;
    for (const MediaAttribute& attribute : attributes)
        if (Visible(attribute, stream))
            ++count;
    return count;
}

const MediaAttribute* AttributeList::At(WORD stream, WORD index) const
{
    WORD seen = 0;
    for (const MediaAttribute& attribute : attributes) {
        if (!Visible(attribute, stream))
            continue;
        if (seen == index)
            return &attribute;
        ++seen;
    }
    return nullptr;
}

}  // namespace platform
