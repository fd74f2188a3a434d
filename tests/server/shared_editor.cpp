#include "shared_editor.h"

#include "support/unimplemented_editor.h"

#include <win32/seams.h>

#include <atomic>
#include <cstring>

namespace trellan::test {

const std::u16string sharedEditorTitle = u"Concurrent title";
const std::u16string sharedEditorAuthor = u"Many threads";

namespace {

std::atomic<long> liveEditors{0};

struct Attribute {
    const char16_t* name;
    const std::u16string* value;
};
const Attribute attributes[] = {
    {u"Title", &sharedEditorTitle},
    {u"Author", &sharedEditorAuthor},
};

// Copies `bytes` bytes of `source` into `target` when a target is given
// and `capacity` allows; `length` answers the size needed, in `unit`s.
HRESULT Deliver(const void* source, size_t bytes, size_t unit, void* target, WORD* length)
{
    WORD needed = static_cast<WORD>(bytes / unit);
    if (target) {
        if (*length < needed)
            return ASF_E_BUFFERTOOSMALL;
        std::memcpy(target, source, bytes);
    }
    *length = needed;
    return S_OK;
}

class Editor final : public UnimplementedEditor {
public:
    Editor() { liveEditors.fetch_add(1); }
    ~Editor() { liveEditors.fetch_sub(1); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWMMetadataEditor))
            *out = static_cast<IWMMetadataEditor*>(this);
        else if (IsEqualGUID(iid, IID_IWMHeaderInfo))
            *out = static_cast<IWMHeaderInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = references.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override { return path ? S_OK : E_POINTER; }
    HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Flush() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD* count) override
    {
        *count = static_cast<WORD>(std::size(attributes));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value, WORD* valueLength) override
    {
        if (index >= std::size(attributes))
            return E_INVALIDARG;
        const Attribute& attribute = attributes[index];
        *stream = 0;
        *type = WMT_TYPE_STRING;
        std::u16string attributeName = attribute.name;
        HRESULT result = Deliver(attributeName.c_str(), (attributeName.size() + 1) * sizeof(char16_t),
                                 sizeof(char16_t), name, nameLength);
        if (FAILED(result))
            return result;
        return Deliver(attribute.value->c_str(), (attribute.value->size() + 1) * sizeof(char16_t), 1, value,
                       valueLength);
    }

private:
    std::atomic<ULONG> references{1};
};

HRESULT MakeEditor(IWMMetadataEditor** editor)
{
    *editor = new Editor();
    return S_OK;
}

PlatformEditorFactory previousFactory = nullptr;

}  // namespace

SharedEditor::SharedEditor()
{
    previousFactory = PlatformSeam_SetEditorFactory(MakeEditor);
}

SharedEditor::~SharedEditor()
{
    PlatformSeam_SetEditorFactory(previousFactory);
}

long SharedEditor::LiveEditors()
{
    return liveEditors.load();
}

}  // namespace trellan::test
