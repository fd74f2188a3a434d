// The metadata harvest: opens the bound file with the media-format
// runtime's metadata editor (a bound stream with its synchronous reader),
// lists the header attributes and routes the string-typed ones of ten names
// into the object's four strings.
#include "com_ptr.h"
#include "media_runtime.h"
#include "wm_filter.h"

#include <cstdint>
#include <cstring>

namespace trellan {
namespace {

// Every attribute of the file: the file's own and each stream's.
const WORD allStreams = 0xFFFF;
// The file-level attributes only.
const WORD fileLevel = 0;

struct RouteRow {
    const WCHAR* name;
    HeapString WMFilter::*ownField;  // null: appended to the body text only
};

// The names of the three own fields, first in the routing table.
const WCHAR* const ownFieldNames[] = {OLESTR("Title"), OLESTR("Author"), OLESTR("Description")};
const int ownFieldCount = 3;

bool EqualsIgnoringAsciiCase(LPCWSTR a, LPCWSTR b)
{
    auto fold = [](WCHAR unit) { return unit >= u'a' && unit <= u'z' ? WCHAR(unit - u'a' + u'A') : unit; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b))
            return false;
    return *a == *b;
}

// The units of `text` before its first NUL, which comes within `units`,
// found four units a step: a long value costs one pass over it at the speed
// of memory, not a comparison a unit.
size_t TextLength(const WCHAR* text, size_t units)
{
    size_t at = 0;
    for (; at + 4 <= units; at += 4) {
        std::uint64_t four;
        std::memcpy(&four, text + at, sizeof four);
        if ((four - 0x0001000100010001u) & ~four & 0x8000800080008000u)
            break;  // a NUL among these four
    }
    while (text[at] != 0)
        ++at;
    return at;
}

// The name and value buffers of one attribute read, in whole UTF-16 units
// and zeroed: the name buffer one unit longer than the reported name
// length, the value buffer the reported byte length rounded up to a whole
// unit and one unit more. Whatever the editor writes, an odd byte length
// or a text without its NUL included, is read as a NUL-terminated text
// inside its block.
class AttributeBuffers {
public:
    AttributeBuffers(WORD nameLength, DWORD valueLength)
        : nameUnits(nameLength + size_t(1)), valueUnits(UnitsFor(valueLength))
    {
        // A byte length near 4 GiB has no block of whole units on a 32-bit
        // platform: the size would wrap. Such a value is an allocation that
        // fails.
        if (valueUnits > static_cast<size_t>(-1) / sizeof(WCHAR))
            return;
        name.Allocate(nameUnits * sizeof(WCHAR), HEAP_ZERO_MEMORY);
        value.Allocate(valueUnits * sizeof(WCHAR), HEAP_ZERO_MEMORY);
    }
    bool Allocated() const { return name && value; }
    WCHAR* Name() const { return name.As<WCHAR>(); }
    BYTE* Value() const { return value.As<BYTE>(); }

    // Ends both texts inside their buffers, whatever the editor wrote.
    void Terminate()
    {
        Name()[nameUnits - 1] = 0;
        value.As<WCHAR>()[valueUnits - 1] = 0;
    }
    LPCWSTR ValueText() const { return value.As<WCHAR>(); }
    size_t ValueUnits() const { return valueUnits; }

    void Free()
    {
        name.Free();
        value.Free();
    }

private:
    // Whole units for `bytes` bytes, and one for the NUL.
    static size_t UnitsFor(DWORD bytes) { return bytes / sizeof(WCHAR) + bytes % sizeof(WCHAR) + size_t(1); }

    size_t nameUnits;
    size_t valueUnits;
    HeapBlock name;
    HeapBlock value;
};

// Which own field a name routes to, or -1.
int OwnFieldOf(LPCWSTR name)
{
    for (int field = 0; field < ownFieldCount; ++field)
        if (EqualsIgnoringAsciiCase(name, ownFieldNames[field]))
            return field;
    return -1;
}

// The file's own value of an own field: the last file-level string under
// its name in the default language that is not empty. `field` keeps what
// the enumeration gave it when the file has no such value, or the runtime
// cannot list one. E_OUTOFMEMORY when a buffer cannot be allocated.
HRESULT TakeFileValue(IWMHeaderInfo3* info, LPCWSTR name, HeapString& field)
{
    WORD language = 0;  // the default language
    WORD count = 0;
    if (FAILED(info->GetAttributeIndices(fileLevel, name, &language, nullptr, &count)) || count == 0)
        return S_OK;
    HeapBlock indices(count * sizeof(WORD));
    if (!indices)
        return E_OUTOFMEMORY;
    if (FAILED(info->GetAttributeIndices(fileLevel, name, &language, indices.As<WORD>(), &count)))
        return S_OK;
    for (WORD i = count; i-- > 0;) {
        const WORD index = indices.As<WORD>()[i];
        WORD nameLength = 0;
        DWORD valueLength = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        if (FAILED(info->GetAttributeByIndexEx(fileLevel, index, nullptr, &nameLength, &type, nullptr, nullptr,
                                               &valueLength)) ||
            type != WMT_TYPE_STRING)
            continue;
        AttributeBuffers buffers(nameLength, valueLength);
        if (!buffers.Allocated())
            return E_OUTOFMEMORY;
        WORD languageIndex = 0;
        if (FAILED(info->GetAttributeByIndexEx(fileLevel, index, buffers.Name(), &nameLength, &type, &languageIndex,
                                               buffers.Value(), &valueLength)) ||
            type != WMT_TYPE_STRING)
            continue;
        buffers.Terminate();
        if (buffers.ValueText()[0]) {
            field.assign(buffers.ValueText(), std::char_traits<WCHAR>::length(buffers.ValueText()));
            return S_OK;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT WMFilter::HarvestMetadata(LPCWSTR path)
{
    // Create the editor with the runtime's WMCreateEditor; the runtime
    // is loaded from the system folder at the first harvest, and a missing
    // one is this step's failure.
    ComPtr<IWMMetadataEditor> editor;
    CreateEditorFunction createEditor = nullptr;
    HRESULT result = FindCreateEditor(&createEditor);
    if (FAILED(result))
        return result;
    result = createEditor(editor.Receive());
    if (FAILED(result))
        return result;  // an editor the call left behind is released on the way out
    if (!editor)
        return E_POINTER;  // a success that handed back nothing

    // Open the file; Close is not called when this fails.
    result = editor->Open(path);
    if (FAILED(result))
        return result;

    return HarvestOpened(editor.Get());
}

HRESULT WMFilter::HarvestStream(IStream* stream)
{
    // The same steps through the runtime's synchronous reader, which takes
    // a stream where the editor takes only a path: create it with
    // WMCreateSyncReader (no certificate, no rights: the header alone is
    // read), loaded as the editor is.
    ComPtr<IWMSyncReader> reader;
    CreateSyncReaderFunction createSyncReader = nullptr;
    HRESULT result = FindCreateSyncReader(&createSyncReader);
    if (FAILED(result))
        return result;
    result = createSyncReader(nullptr, 0, reader.Receive());
    if (FAILED(result))
        return result;
    if (!reader)
        return E_POINTER;

    // Open the stream; Close is not called when this fails.
    result = reader->OpenStream(stream);
    if (FAILED(result))
        return result;

    return HarvestOpened(reader.Get());
}

template <typename Source>
HRESULT WMFilter::HarvestOpened(Source* source)
{
    // The first header-information interface the source grants is
    // the one the enumeration uses.
    ComPtr<IWMHeaderInfo3> info3;
    ComPtr<IWMHeaderInfo2> info2;
    ComPtr<IWMHeaderInfo> info1;
    HRESULT result;
    if (SUCCEEDED(source->QueryInterface(IID_IWMHeaderInfo3, info3.ReceiveVoid())) && info3) {
        result = HarvestAttributesEx(info3.Get());
    } else if (SUCCEEDED(source->QueryInterface(IID_IWMHeaderInfo2, info2.ReceiveVoid())) && info2) {
        result = HarvestAttributes(info2.Get());
    } else {
        result = source->QueryInterface(IID_IWMHeaderInfo, info1.ReceiveVoid());
        if (SUCCEEDED(result) && info1)
            result = HarvestAttributes(info1.Get());
        else if (SUCCEEDED(result))
            result = E_NOINTERFACE;  // a success that handed back nothing
    }

    // Release the level-1 and level-2 interfaces, close the source,
    // release the level-3 interface; the caller releases the source. An
    // exception from the enumeration skips this: the owners release
    // everything without Close.
    info1.Reset();
    info2.Reset();
    source->Close();
    info3.Reset();

    // The enumeration's result is the harvest's.
    return result;
}

HRESULT WMFilter::HarvestAttributesEx(IWMHeaderInfo3* info)
{
    WORD count = 0;
    HRESULT result = info->GetAttributeCountEx(allStreams, &count);
    if (FAILED(result))
        return result;

    // How many values each own field was given: one that was given several
    // (from streams, or in other languages) takes the file's own at the end.
    int ownValues[ownFieldCount] = {};
    for (WORD index = 0; index < count; ++index) {
        // Probe for the lengths and the type; nothing is allocated yet.
        WORD nameLength = 0;
        DWORD valueLength = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        result = info->GetAttributeByIndexEx(allStreams, index, nullptr, &nameLength, &type, nullptr, nullptr,
                                             &valueLength);
        if (FAILED(result))
            return result;
        // A value that is not a string is never routed, so it is not read.
        if (type != WMT_TYPE_STRING)
            continue;

        AttributeBuffers buffers(nameLength, valueLength);
        if (!buffers.Allocated())
            return E_OUTOFMEMORY;

        WORD languageIndex = 0;
        result = info->GetAttributeByIndexEx(allStreams, index, buffers.Name(), &nameLength, &type,
                                             &languageIndex, buffers.Value(), &valueLength);
        if (FAILED(result))
            return result;  // both buffers are freed on the way out

        buffers.Terminate();
        if (type == WMT_TYPE_STRING) {
            RouteAttribute(buffers.Name(), buffers.ValueText(), buffers.ValueUnits());
            const int field = OwnFieldOf(buffers.Name());
            if (field >= 0 && buffers.ValueText()[0])
                ++ownValues[field];
        }
        buffers.Free();
    }

    // The file's own values for the own fields: a stream's value, or one in
    // another language, never replaces the file-level one.
    HeapString* const ownFields[ownFieldCount] = {&title, &author, &description};
    for (int field = 0; field < ownFieldCount; ++field) {
        if (ownValues[field] < 2)
            continue;
        const HRESULT taken = TakeFileValue(info, ownFieldNames[field], *ownFields[field]);
        if (FAILED(taken))
            return taken;
    }
    return result;
}

HRESULT WMFilter::HarvestAttributes(IWMHeaderInfo* info)
{
    WORD count = 0;
    HRESULT result = info->GetAttributeCount(fileLevel, &count);
    if (FAILED(result))
        return result;

    for (WORD index = 0; index < count; ++index) {
        WORD streamNumber = fileLevel;
        WORD nameLength = 0;
        WORD valueLength = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        result = info->GetAttributeByIndex(index, &streamNumber, nullptr, &nameLength, &type, nullptr, &valueLength);
        if (FAILED(result))
            return result;
        // A value that is not a string is never routed, so it is not read.
        if (type != WMT_TYPE_STRING)
            continue;

        AttributeBuffers buffers(nameLength, valueLength);
        if (!buffers.Allocated())
            return E_OUTOFMEMORY;

        streamNumber = fileLevel;
        result = info->GetAttributeByIndex(index, &streamNumber, buffers.Name(), &nameLength, &type,
                                           buffers.Value(), &valueLength);
        if (FAILED(result))
            return result;

        buffers.Terminate();
        if (type == WMT_TYPE_STRING)
            RouteAttribute(buffers.Name(), buffers.ValueText(), buffers.ValueUnits());
        buffers.Free();
    }
    return result;
}

void WMFilter::RouteAttribute(LPCWSTR name, LPCWSTR value, size_t units)
{
    // Compared in this order, without regard to the case of ASCII letters.
    static const RouteRow routingTable[] = {
        {ownFieldNames[0], &WMFilter::title},
        {ownFieldNames[1], &WMFilter::author},
        {ownFieldNames[2], &WMFilter::description},
        {OLESTR("Copyright"), nullptr},
        {OLESTR("WM/AlbumTitle"), nullptr},
        {OLESTR("WM/Year"), nullptr},
        {OLESTR("WM/Genre"), nullptr},
        {OLESTR("WM/Lyrics"), nullptr},
        {OLESTR("WM/Publisher"), nullptr},
        {OLESTR("WM/Composer"), nullptr},
    };

    if (value[0] == 0)
        return;

    for (const RouteRow& row : routingTable) {
        if (!EqualsIgnoringAsciiCase(name, row.name))
            continue;
        const size_t length = TextLength(value, units);  // once, for both copies
        if (row.ownField)
            (this->*row.ownField).assign(value, length);
        bodyText.append(value, length);
        bodyText += OLESTR("\r\n");
        return;
    }
}

}  // namespace trellan
