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
    if (attribute.name.size() + 1 > 0xFFFF || attributes.size() >= mostAttributes)
        return false;
    // The stream of the last attribute added, found again without a look-up
    // (the map's elements stay where they are).
    if (!lastView || lastStream != attribute.stream) {
        lastView = &streams[attribute.stream];
        lastStream = attribute.stream;
    }
    View& own = *lastView;
    own.members.push_back(static_cast<WORD>(attributes.size()));
    own.named = all.named = false;  // a later look-up indexes the names again
    attributes.push_back(std::move(attribute));
    return true;
}

void AttributeList::Clear()
{
    attributes.clear();
    all = View{};
    streams.clear();
    lastView = nullptr;
}

std::vector<MediaAttribute> AttributeList::TakeAll()
{
    std::vector<MediaAttribute> taken = std::move(attributes);
    Clear();
    return taken;
}

AttributeList::View* AttributeList::ViewOf(WORD stream) const
{
    if (stream == allStreams)
        return &all;
    auto found = streams.find(stream);
    return found == streams.end() ? nullptr : &found->second;
}

WORD AttributeList::Count(WORD stream) const
{
    if (stream == allStreams)
        return static_cast<WORD>(attributes.size());
    const View* view = ViewOf(stream);
    return view ? static_cast<WORD>(view->members.size()) : 0;
}

const MediaAttribute* AttributeList::At(WORD stream, WORD index) const
{
    if (stream == allStreams)
        return index < attributes.size() ? &attributes[index] : nullptr;
    const View* view = ViewOf(stream);
    return view && index < view->members.size() ? &attributes[view->members[index]] : nullptr;
}

const std::vector<WORD>* AttributeList::IndicesOf(WORD stream, const std::u16string& name) const
{
    View* view = ViewOf(stream);
    if (!view)
        return nullptr;
    if (!view->named) {
        const WORD count = Count(stream);
        view->byName.clear();
        view->byName.reserve(count);
        for (WORD index = 0; index < count; ++index)
            view->byName[At(stream, index)->name].push_back(index);
        view->named = true;
    }
    auto found = view->byName.find(name);
    return found == view->byName.end() ? nullptr : &found->second;
}

}  // namespace platform
