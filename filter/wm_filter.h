// The filter object WMFilter: its layout, its IFilter side (the chunk
// protocol), its IPersistFile side (the file binding) and the metadata
// harvest that fills its four strings.
//
// The IUnknown operations are left to the two object forms that the server
// creates: the stand-alone object and the object contained in an
// aggregate. Both begin with the same three interface pointers, followed by
// a 32-bit reference count (or, when contained, the outer object's
// IUnknown in its place) and the base lock.
#pragma once

#include "critical_section.h"
#include "heap_memory.h"
#include "winapi.h"

struct IWMFilter : IUnknown {
};

namespace trellan {

class WMFilter : public IWMFilter, public IFilter, public IPersistFile {
public:
    // IFilter
    SCODE STDMETHODCALLTYPE Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                                 ULONG* pFlags) override;
    SCODE STDMETHODCALLTYPE GetChunk(STAT_CHUNK* pStat) override;
    SCODE STDMETHODCALLTYPE GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
    SCODE STDMETHODCALLTYPE GetValue(PROPVARIANT** ppPropValue) override;
    SCODE STDMETHODCALLTYPE BindRegion(FILTERREGION origPos, REFIID riid, void** ppunk) override;

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR pszFileName) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName) override;

    // The harvest, run by Init under filterLock.
    HRESULT HarvestMetadata(LPCWSTR path);
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

    LPWSTR filePath;
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
};

}  // namespace trellan
