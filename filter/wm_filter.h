// The filter object WMFilter: its layout, its IFilter side (the chunk
// protocol), its IPersistFile side (the file binding), its IPersistStream
// and IInitializeWithStream sides (the stream binding, which Windows Search
// uses) and the metadata harvest that fills its four strings.
//
// The IUnknown operations are left to the two object forms that the server
// creates: the stand-alone object and the object contained in an
// aggregate. Both begin with the same three interface pointers, then the
// two of the stream binding, followed by a 32-bit reference count (or, when
// contained, the outer object's IUnknown in its place) and the base lock.
#pragma once

#include "critical_section.h"
#include "heap_memory.h"
#include "winapi.h"

struct IWMFilter : IUnknown {
};

namespace trellan {

class WMFilter : public IWMFilter,
                 public IFilter,
                 public IPersistFile,
                 public IPersistStream,
                 public IInitializeWithStream {
public:
    // IFilter
    SCODE STDMETHODCALLTYPE Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                                 ULONG* pFlags) override;
    SCODE STDMETHODCALLTYPE GetChunk(STAT_CHUNK* pStat) override;
    SCODE STDMETHODCALLTYPE GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
    SCODE STDMETHODCALLTYPE GetValue(PROPVARIANT** ppPropValue) override;
    SCODE STDMETHODCALLTYPE BindRegion(FILTERREGION origPos, REFIID riid, void** ppunk) override;

    // IPersistFile, and IPersistStream's two operations of the same name
    // and arguments (both answer alike).
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR pszFileName) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName) override;

    // IPersistStream
    HRESULT STDMETHODCALLTYPE Load(IStream* pStm) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL fClearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pcbSize) override;

    // IInitializeWithStream
    HRESULT STDMETHODCALLTYPE Initialize(IStream* pstream, DWORD grfMode) override;

    // The harvest, run by Init under filterLock: from the bound path through
    // the runtime's metadata editor, or from the bound stream through its
    // synchronous reader.
    HRESULT HarvestMetadata(LPCWSTR path);
    HRESULT HarvestStream(IStream* stream);
    HRESULT HarvestAttributesEx(IWMHeaderInfo3* info);
    HRESULT HarvestAttributes(IWMHeaderInfo* info);
    // `units`: the value's buffer, which holds a NUL.
    void RouteAttribute(LPCWSTR name, LPCWSTR value, size_t units);

    // A new PROPVARIANT from the task allocator holding a copy of `text`,
    // or null when the task allocator is exhausted.
    static PROPVARIANT* MakeStringValue(const HeapString& text);

protected:
    WMFilter();
    ~WMFilter();

    // Stand-alone: the reference count. Contained in an aggregate: the
    // outer object's IUnknown, which the contained object does not hold a
    // reference on.
    union {
        LONG refCount;
        IUnknown* outerUnknown;
    };
    // Created and deleted with the object, after everything else; never taken.
    OwnedCriticalSection baseLock;

    // The binding: a path, a stream (one reference held), or neither.
    LPWSTR filePath;
    IStream* fileStream;
    bool streamInitialized;  // IInitializeWithStream::Initialize succeeded once
    HeapString bodyText;
    HeapString title;
    HeapString author;
    HeapString description;
    ULONG currentChunk;
    ULONG textPosition;
    bool valueDelivered;
    CRITICAL_SECTION filterLock;
    bool initialized;

    friend struct WMFilterInspector;  // tests read the state through this

private:
    // The harvest's steps after the source (editor or reader) has opened
    // the file: the header-information interface, the enumeration, Close.
    template <typename Source>
    HRESULT HarvestOpened(Source* source);
    // Drops the path or the stream bound before; under filterLock.
    void Unbind();
    // Binds `stream` (a reference of its own) in place of what was bound;
    // under filterLock.
    void BindStream(IStream* stream);
};

}  // namespace trellan
