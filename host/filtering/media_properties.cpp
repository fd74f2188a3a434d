// The properties through the runtime's header interface (IWMHeaderInfo3):
// the file's own attributes first, then the streams' for what those left
// empty. Pictures, GUIDs and flags are passed over, and so are the filter's
// own texts (title, author, description), which the index holds already.
// The runtime is loaded once, from the system folder, and kept until the
// process ends.
#include "filtering/media_properties.h"

#include "com_ptr.h"
#include "system_library.h"
#include "text/text_conversion.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace host {
namespace {

// Every attribute of the file, its own and each stream's; its own alone.
constexpr WORD allStreams = 0xFFFF;
constexpr WORD fileLevel = 0;

// year: the number a text begins with, when it has the four digits of one.
enum class Kind { text, number, firstNumber, year };

// The attributes with a place of their own; the rest of the string ones go
// to `others`, but for those the index holds already as the file's texts.
struct PropertyRow {
    const char16_t* name;
    Kind kind;
    std::string MediaProperties::*text;
    std::int64_t MediaProperties::*number;
};
const PropertyRow propertyTable[] = {
    {u"WM/AlbumTitle", Kind::text, &MediaProperties::album, nullptr},
    {u"WM/AlbumArtist", Kind::text, &MediaProperties::albumArtist, nullptr},
    {u"WM/Genre", Kind::text, &MediaProperties::genre, nullptr},
    {u"WM/Composer", Kind::text, &MediaProperties::composer, nullptr},
    {u"WM/Year", Kind::firstNumber, nullptr, &MediaProperties::year},
    {u"date", Kind::year, nullptr, &MediaProperties::year},  // as ffmpeg writes it: "2019" or "2019-05-01"
    {u"WM/TrackNumber", Kind::firstNumber, nullptr, &MediaProperties::track},
    {u"WM/PartOfSet", Kind::firstNumber, nullptr, &MediaProperties::disc},
    {u"Duration", Kind::number, nullptr, &MediaProperties::duration},
};
const char16_t* const textsOfTheFilter[] = {u"Title", u"Author", u"Description"};

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t unit) { return unit >= u'A' && unit <= u'Z' ? char16_t(unit + 32) : unit; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

// The number a text begins with ("3/12" is track 3, "2003-05-01" the year
// 2003), or 0.
std::int64_t LeadingNumber(std::u16string_view text)
{
    size_t at = 0;
    while (at < text.size() && text[at] == u' ')
        ++at;
    std::int64_t number = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9' && number < 100000000; ++at)
        number = number * 10 + (text[at] - u'0');
    return number;
}

std::int64_t NumberValue(WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value)
{
    auto read = [&](size_t size) {
        std::uint64_t number = 0;
        std::memcpy(&number, value.data(), std::min(size, value.size()));  // little-endian, as the runtime gives it
        return static_cast<std::int64_t>(number & 0x7FFFFFFFFFFFFFFF);
    };
    switch (type) {
    case WMT_TYPE_WORD: return read(2);
    case WMT_TYPE_DWORD: return read(4);
    case WMT_TYPE_QWORD: return read(8);
    default: return 0;
    }
}

// The text of a string value: UTF-16 up to its NUL, on one line.
std::u16string StringValue(const std::vector<BYTE>& value)
{
    std::u16string text(value.size() / 2, u'\0');
    std::memcpy(text.data(), value.data(), text.size() * 2);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    for (char16_t& unit : text)
        if (unit == u'\n' || unit == u'\r' || unit == u'\t')
            unit = u' ';
    return text;
}

// The runtime, loaded once for the process, as the filter loads it: from
// the system folder, at the first use; and its function `name`.
HMODULE Runtime()
{
    static const HMODULE runtime = trellan::LoadSystemLibrary(OLESTR("wmvcore.dll"));  // kept until the process ends
    return runtime;
}

template <typename Function>
Function RuntimeFunction(const char* name)
{
    return Runtime() ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(Runtime(), name))) : nullptr;
}

// The file opened by path with the runtime's metadata editor, or null.
trellan::ComPtr<IWMMetadataEditor> OpenEditor(const std::u16string& path)
{
    static const auto create = RuntimeFunction<decltype(&WMCreateEditor)>("WMCreateEditor");
    trellan::ComPtr<IWMMetadataEditor> editor;
    if (!create || FAILED(create(editor.Receive())) || !editor ||
        FAILED(editor->Open(reinterpret_cast<LPCWSTR>(path.c_str()))))
        editor.Reset();
    return editor;
}

// The file opened through `stream` with the runtime's synchronous reader,
// or null.
trellan::ComPtr<IWMSyncReader> OpenReader(IStream* stream)
{
    static const auto create = RuntimeFunction<decltype(&WMCreateSyncReader)>("WMCreateSyncReader");
    trellan::ComPtr<IWMSyncReader> reader;
    if (!create || FAILED(create(nullptr, 0, reader.Receive())) || !reader || FAILED(reader->OpenStream(stream)))
        reader.Reset();
    return reader;
}

// Keeps what the attribute says of the file; `streams` is the pass over
// the streams' attributes, which only fill what the file's own left empty.
void Take(MediaProperties& properties, std::u16string_view name, WMT_ATTR_DATATYPE type,
          const std::vector<BYTE>& value, bool streams)
{
    for (const PropertyRow& row : propertyTable) {
        if (!SameName(name, row.name))
            continue;
        if (row.text) {
            std::string& field = properties.*row.text;
            if (type == WMT_TYPE_STRING && field.empty())
                field = ToUtf8(StringValue(value));
        } else if (std::int64_t& field = properties.*row.number; field == 0) {
            field = type == WMT_TYPE_STRING ? LeadingNumber(StringValue(value)) : NumberValue(type, value);
            if (row.kind == Kind::year && (field < 1000 || field > 9999))
                field = 0;
        }
        return;
    }
    for (const char16_t* own : textsOfTheFilter)
        if (SameName(name, own))
            return;
    if (type != WMT_TYPE_STRING || streams)
        return;
    const std::u16string text = StringValue(value);
    if (text.empty())
        return;
    properties.others += FoldTagName(ToUtf8(std::u16string(name))) + '\t' + ToUtf8(text) + '\n';
}

// Reads the properties of the file that `source` has open, and closes it.
template <typename Source>
bool ReadOpened(Source* source, MediaProperties& properties)
{
    trellan::ComPtr<IWMHeaderInfo3> info;
    const bool opened = SUCCEEDED(source->QueryInterface(IID_IWMHeaderInfo3, info.ReceiveVoid())) && info;
    // The file's own attributes first, then every stream's for what they
    // left empty: a stream's genre never replaces the file's.
    std::vector<WCHAR> name;
    std::vector<BYTE> value;
    WORD fileCount = 0;
    for (const WORD stream : {fileLevel, allStreams}) {
        WORD count = 0;
        if (!opened || FAILED(info->GetAttributeCountEx(stream, &count)) || (stream == allStreams && count == fileCount))
            break;  // no stream has an attribute of its own
        fileCount = count;
        for (WORD index = 0; index < count; ++index) {
            WORD nameLength = 0, language = 0;
            DWORD valueLength = 0;
            WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
            if (FAILED(info->GetAttributeByIndexEx(stream, index, nullptr, &nameLength, &type, nullptr, nullptr,
                                                   &valueLength)))
                break;
            if (type == WMT_TYPE_BINARY || type == WMT_TYPE_GUID || type == WMT_TYPE_BOOL)
                continue;  // pictures and flags say nothing to search by
            name.assign(nameLength + size_t(1), 0);
            value.assign(valueLength + size_t(2), 0);
            if (FAILED(info->GetAttributeByIndexEx(stream, index, name.data(), &nameLength, &type, &language,
                                                   value.data(), &valueLength)))
                break;
            Take(properties, reinterpret_cast<const char16_t*>(name.data()), type, value, stream == allStreams);
        }
    }
    info.Reset();
    source->Close();
    return opened;
}

}  // namespace

std::string FoldTagName(std::string_view name)
{
    std::string folded;
    for (char c : name)
        folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (folded.starts_with("wm/"))
        folded.erase(0, 3);
    return folded;
}

bool ReadMediaProperties(const std::u16string& path, IStream* stream, MediaProperties& properties)
{
    properties = MediaProperties();
    if (stream) {
        trellan::ComPtr<IWMSyncReader> reader = OpenReader(stream);
        return reader && ReadOpened(reader.Get(), properties);
    }
    trellan::ComPtr<IWMMetadataEditor> editor = OpenEditor(path);
    return editor && ReadOpened(editor.Get(), properties);
}

}  // namespace host

