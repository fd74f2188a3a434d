#include "support/fake_editor.h"

#include "support/unimplemented_editor.h"

#include <win32/seams.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace trellan::test {
namespace {

EditorScript* activeScript = nullptr;
EditorLog* activeLog = nullptr;

class FakeEditor final : public UnimplementedEditor {
public:
    FakeEditor() : references(1)
    {
        ++activeLog->created;
        ++activeLog->liveReferences;
    }

    // IUnknown, shared by both interfaces
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        *out = nullptr;
        const EditorScript& script = *activeScript;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IWMMetadataEditor)) {
            *out = static_cast<IWMMetadataEditor*>(this);
        } else if (IsEqualGUID(riid, IID_IWMSyncReader)) {
            *out = static_cast<IWMSyncReader*>(this);
        } else if (IsEqualGUID(riid, IID_IWMHeaderInfo3)) {
            activeLog->calls.push_back("QI3");
            if (script.grantInfo3)
                *out = static_cast<IWMHeaderInfo3*>(this);
        } else if (IsEqualGUID(riid, IID_IWMHeaderInfo2)) {
            activeLog->calls.push_back("QI2");
            if (script.grantInfo2)
                *out = static_cast<IWMHeaderInfo2*>(this);
        } else if (IsEqualGUID(riid, IID_IWMHeaderInfo)) {
            activeLog->calls.push_back("QI1");
            if (script.grantInfo1)
                *out = static_cast<IWMHeaderInfo*>(this);
            else
                return script.info1Refusal;
        }
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++activeLog->liveReferences;
        return ++references;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        --activeLog->liveReferences;
        ULONG left = --references;
        if (left == 0) {
            ++activeLog->destroyed;
            delete this;
        }
        return left;
    }

    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override
    {
        ++activeLog->opens;
        activeLog->openedPath = path;
        return activeScript->openResult;
    }
    // IWMSyncReader
    HRESULT STDMETHODCALLTYPE OpenStream(IStream* stream) override
    {
        ++activeLog->opens;
        activeLog->openedPath = stream ? u"<stream>" : u"<null stream>";
        return activeScript->openResult;
    }

    HRESULT STDMETHODCALLTYPE Close() override
    {
        ++activeLog->closes;
        activeLog->calls.push_back("Close");
        return E_UNEXPECTED;  // the harvest ignores it
    }

    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override
    {
        activeLog->calls.push_back("Count");
        if (FAILED(activeScript->countResult))
            return activeScript->countResult;
        *count = static_cast<WORD>(Visible(stream).size());
        return activeScript->countResult;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* valueLength) override
    {
        DWORD length = *valueLength;
        HRESULT result = Serve(*stream, index, name, nameLength, type, value, &length, "Attr");
        *valueLength = static_cast<WORD>(length);
        return result;
    }

    // IWMHeaderInfo3
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream, WORD* count) override
    {
        activeLog->calls.push_back("CountEx");
        if (FAILED(activeScript->countResult))
            return activeScript->countResult;
        *count = static_cast<WORD>(Visible(stream).size());
        return activeScript->countResult;
    }
    // The indices under `stream` of the attributes named `name` (exactly),
    // in the language given, or in any.
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD stream, LPCWSTR name, WORD* language, WORD* indices,
                                                  WORD* count) override
    {
        activeLog->calls.push_back("Indices");
        const std::vector<const FakeAttribute*> visible = Visible(stream);
        WORD found = 0;
        for (size_t index = 0; index < visible.size(); ++index) {
            if (visible[index]->name != reinterpret_cast<const char16_t*>(name) ||
                (language && visible[index]->language != *language))
                continue;
            if (indices && found < *count)
                indices[found] = static_cast<WORD>(index);
            ++found;
        }
        const bool tooSmall = indices && found > *count;
        *count = found;
        return tooSmall ? ASF_E_BUFFERTOOSMALL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* nameLength,
                                                    WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                                    DWORD* valueLength) override
    {
        if (name && language && *language != 0)
            return E_INVALIDARG;  // the read passes a language index of 0
        const HRESULT result = Serve(stream, index, name, nameLength, type, value, valueLength, "AttrEx");
        const std::vector<const FakeAttribute*> visible = Visible(stream);
        if (SUCCEEDED(result) && language && index < visible.size())
            *language = visible[index]->language;
        return result;
    }

private:
    ~FakeEditor() = default;

    // Stream 0xFFFF lists every attribute; any other number only its own.
    static std::vector<const FakeAttribute*> Visible(WORD stream)
    {
        std::vector<const FakeAttribute*> visible;
        for (const FakeAttribute& attribute : activeScript->attributes)
            if (stream == 0xFFFF || attribute.stream == stream)
                visible.push_back(&attribute);
        return visible;
    }

    static HRESULT Serve(WORD stream, WORD index, WCHAR* name, WORD* nameLength, WMT_ATTR_DATATYPE* type,
                         BYTE* value, DWORD* valueLength, const char* call)
    {
        const EditorScript& script = *activeScript;
        const bool probe = name == nullptr;
        activeLog->calls.push_back(std::string(probe ? "Probe" : "Read") + call + ":" + std::to_string(index));
        if (probe && script.failProbeAt == index)
            return script.failureCode;
        if (!probe && script.failReadAt == index)
            return script.failureCode;

        std::vector<const FakeAttribute*> visible = Visible(stream);
        if (index >= visible.size())
            return E_INVALIDARG;
        const FakeAttribute& attribute = *visible[index];
        const WORD neededName = static_cast<WORD>(attribute.name.size() + (attribute.nameTerminated ? 1 : 0));
        const DWORD neededValue = static_cast<DWORD>(attribute.value.size());
        if (type)
            *type = attribute.type;
        if (!probe) {
            if (*nameLength < neededName || (value && *valueLength < neededValue))
                return ASF_E_BUFFERTOOSMALL;
            std::copy_n(attribute.name.c_str(), neededName, name);
            if (value)
                std::copy(attribute.value.begin(), attribute.value.end(), value);
        }
        *nameLength = neededName;
        *valueLength = neededValue;
        return S_OK;
    }

    ULONG references;
};

EditorScript currentScript;
EditorLog currentLog;

// What the runtime's factory does as the script says: an object, or none,
// and the script's answer.
FakeEditor* CreateScripted(const char* call, HRESULT& result)
{
    activeLog->calls.push_back(call);
    result = activeScript->createResult;
    if (FAILED(result))
        return activeScript->createLeavesEditor ? new FakeEditor() : nullptr;
    return activeScript->createGivesNull ? nullptr : new FakeEditor();
}

HRESULT STDMETHODCALLTYPE CreateFakeEditor(IWMMetadataEditor** editor)
{
    HRESULT result;
    *editor = CreateScripted("Create", result);
    return result;
}

HRESULT STDMETHODCALLTYPE CreateFakeReader(IWMSyncReader** reader)
{
    HRESULT result;
    *reader = CreateScripted("CreateReader", result);
    return result;
}

PlatformEditorFactory previousFactory = nullptr;
PlatformSyncReaderFactory previousReaderFactory = nullptr;

}  // namespace

FakeAttribute StringAttribute(const std::u16string& name, const std::u16string& value, WORD stream)
{
    FakeAttribute attribute{name, WMT_TYPE_STRING, {}, stream};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(value.c_str());
    attribute.value.assign(bytes, bytes + (value.size() + 1) * sizeof(char16_t));
    return attribute;
}

FakeAttribute DwordAttribute(const std::u16string& name, DWORD value, WORD stream)
{
    FakeAttribute attribute{name, WMT_TYPE_DWORD, {}, stream};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    attribute.value.assign(bytes, bytes + sizeof value);
    return attribute;
}

ScriptedEditor::ScriptedEditor(EditorScript script)
{
    if (activeScript)
        throw std::logic_error("one scripted editor at a time");
    currentScript = std::move(script);
    currentLog = EditorLog{};
    activeScript = &currentScript;
    activeLog = &currentLog;
    previousFactory = PlatformSeam_SetEditorFactory(&CreateFakeEditor);
    previousReaderFactory = PlatformSeam_SetSyncReaderFactory(&CreateFakeReader);
}

ScriptedEditor::~ScriptedEditor()
{
    PlatformSeam_SetEditorFactory(previousFactory);
    PlatformSeam_SetSyncReaderFactory(previousReaderFactory);
    activeScript = nullptr;
}

const EditorLog& ScriptedEditor::Log() const
{
    return currentLog;
}

EditorScript& ScriptedEditor::Script()
{
    return currentScript;
}

}  // namespace trellan::test
