// A metadata editor and synchronous reader that serve scripted attributes
// through IWMMetadataEditor, IWMSyncReader and the three header-information
// interfaces, in place of the platform's wmvcore.dll. The editor opens a
// file by path; the reader takes a stream and finds the file by the name
// that the stream's Stat gives (a stream over a file gives its path), else
// by the stream's first line, which the tests then write as the file's name.
// Lengths follow the runtime's conventions: names in UTF-16 units and values
// in bytes, both counting the NUL.
#include "scripted_attributes.h"

#include "support/unimplemented_editor.h"

#include <new>
#include <string>
#include <vector>

namespace wmvcore_double {
namespace {

const HRESULT kBufferTooSmall = static_cast<HRESULT>(0xC00D07D1);  // ASF_E_BUFFERTOOSMALL
const HRESULT kInvalidRequest = static_cast<HRESULT>(0xC00D002B);  // NS_E_INVALID_REQUEST
const WORD kAllStreams = 0xFFFF;

LONG liveEditors = 0;

class EditorDouble final : public trellan::test::UnimplementedEditor {
public:
    EditorDouble() { InterlockedIncrement(&liveEditors); }
    ~EditorDouble() { InterlockedDecrement(&liveEditors); }

    // IUnknown (shared by both bases)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMMetadataEditor))
            *object = static_cast<IWMMetadataEditor*>(this);
        else if (IsEqualIID(iid, IID_IWMSyncReader))
            *object = static_cast<IWMSyncReader*>(this);
        else if (IsEqualIID(iid, IID_IWMHeaderInfo) || IsEqualIID(iid, IID_IWMHeaderInfo2) ||
                 IsEqualIID(iid, IID_IWMHeaderInfo3))
            *object = static_cast<IWMHeaderInfo3*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* fileName) override
    {
        if (!fileName)
            return E_INVALIDARG;
        if (open)
            return kInvalidRequest;
        HRESULT result = LoadScriptedAttributes(fileName, attributes);
        open = SUCCEEDED(result);
        return result;
    }
    // IWMSyncReader: the stream's name, or its first line, names the file in
    // the script.
    HRESULT STDMETHODCALLTYPE OpenStream(IStream* stream) override
    {
        if (!stream)
            return E_INVALIDARG;
        if (open)
            return kInvalidRequest;
        STATSTG status{};
        if (SUCCEEDED(stream->Stat(&status, STATFLAG_DEFAULT)) && status.pwcsName) {
            HRESULT result = LoadScriptedAttributes(status.pwcsName, attributes);
            CoTaskMemFree(status.pwcsName);
            open = SUCCEEDED(result);
            return result;
        }
        char bytes[MAX_PATH] = {};
        ULONG read = 0;
        LARGE_INTEGER start{};
        if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
            FAILED(stream->Read(bytes, sizeof bytes - 1, &read)))
            return static_cast<HRESULT>(0xC00D0019);  // NS_E_FILE_READ
        std::string name(bytes, read);
        name = name.substr(0, name.find_first_of("\r\n"));
        WCHAR wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide, MAX_PATH - 1);
        HRESULT result = LoadScriptedAttributes(wide, attributes);
        open = SUCCEEDED(result);
        return result;
    }

    HRESULT STDMETHODCALLTYPE Close() override
    {
        if (!open)
            return kInvalidRequest;
        open = false;
        attributes.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return open ? S_OK : kInvalidRequest; }

    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override
    {
        if (!count)
            return E_INVALIDARG;
        if (!open)
            return kInvalidRequest;
        *count = static_cast<WORD>(Select(stream).size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) override
    {
        if (!stream || !nameLength || !length)
            return E_INVALIDARG;
        DWORD valueLength = *length;
        HRESULT result = ReadAttribute(*stream, index, name, nameLength, type, value, &valueLength);
        if (valueLength > 0xFFFF)
            return E_UNEXPECTED;
        *length = static_cast<WORD>(valueLength);
        return result;
    }

    // IWMHeaderInfo3
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream, WORD* count) override
    {
        return GetAttributeCount(stream, count);
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* nameLength,
                                                    WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                                    DWORD* length) override
    {
        if (language)
            *language = 0;
        return ReadAttribute(stream, index, name, nameLength, type, value, length);
    }

private:
    // The attributes of one stream, or of every stream for 0xFFFF.
    std::vector<const ScriptedAttribute*> Select(WORD stream) const
    {
        std::vector<const ScriptedAttribute*> selected;
        for (const ScriptedAttribute& attribute : attributes)
            if (stream == kAllStreams || attribute.stream == stream)
                selected.push_back(&attribute);
        return selected;
    }

    // With null buffers: the lengths needed. With buffers: name, type and
    // value, or kBufferTooSmall when a buffer is shorter than needed.
    HRESULT ReadAttribute(WORD stream, WORD index, WCHAR* name, WORD* nameLength, WMT_ATTR_DATATYPE* type,
                          BYTE* value, DWORD* length)
    {
        if (!nameLength || !length)
            return E_INVALIDARG;
        if (!open)
            return kInvalidRequest;
        std::vector<const ScriptedAttribute*> selected = Select(stream);
        if (index >= selected.size())
            return E_INVALIDARG;
        const ScriptedAttribute& attribute = *selected[index];
        if (attribute.kind == AttributeKind::Fail)
            return E_UNEXPECTED;

        const WORD nameNeeded = static_cast<WORD>(attribute.name.size() + 1);
        const BYTE* data;
        DWORD dataNeeded;
        if (attribute.kind == AttributeKind::String) {
            data = reinterpret_cast<const BYTE*>(attribute.text.c_str());
            dataNeeded = static_cast<DWORD>((attribute.text.size() + 1) * sizeof(WCHAR));
        } else {
            data = reinterpret_cast<const BYTE*>(&attribute.number);
            dataNeeded = sizeof attribute.number;
        }
        if (type)
            *type = attribute.kind == AttributeKind::String ? WMT_TYPE_STRING : WMT_TYPE_DWORD;

        HRESULT result = S_OK;
        if (name) {
            if (*nameLength < nameNeeded)
                result = kBufferTooSmall;
            else
                CopyMemory(name, attribute.name.c_str(), nameNeeded * sizeof(WCHAR));
        }
        if (value && SUCCEEDED(result)) {
            if (*length < dataNeeded)
                result = kBufferTooSmall;
            else
                CopyMemory(value, data, dataNeeded);
        }
        *nameLength = nameNeeded;
        *length = dataNeeded;
        return result;
    }

    LONG references = 1;
    bool open = false;
    std::vector<ScriptedAttribute> attributes;
};

}  // namespace
}  // namespace wmvcore_double

extern "C" HRESULT STDMETHODCALLTYPE WMCreateEditor(IWMMetadataEditor** editor)
{
    if (!editor)
        return E_POINTER;
    *editor = new (std::nothrow) wmvcore_double::EditorDouble();
    return *editor ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT STDMETHODCALLTYPE WMCreateSyncReader(IUnknown*, DWORD, IWMSyncReader** reader)
{
    if (!reader)
        return E_POINTER;
    *reader = new (std::nothrow) wmvcore_double::EditorDouble();
    return *reader ? S_OK : E_OUTOFMEMORY;
}

// For the tests: how many editors and readers are alive, so that they can see the
// filter release every editor it created.
extern "C" LONG STDMETHODCALLTYPE EditorDoubleLiveCount()
{
    return InterlockedCompareExchange(&wmvcore_double::liveEditors, 0, 0);
}
