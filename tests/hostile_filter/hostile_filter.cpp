// A filter module that misbehaves on purpose, for the tests of the filter
// host's isolation. It binds by path (IPersistFile) and does, in Init, what
// the file's name asks for:
//   "crash"  ends with SIGSEGV;
//   "hang"   never returns;
//   "hog"    takes memory without end;
//   "write"  tries to create a file beside the one it reads, and says in its
//            title whether it could ("wrote" or "refused");
//   "large"  gives its name 25,000 times over (half a megabyte of text);
// and any other file gives one text chunk, its title: the file's name.
#include "winapi.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace {

std::string Narrow(const char16_t* text)
{
    std::string narrow;
    for (; *text; ++text)
        narrow += *text < 0x80 ? char(*text) : '?';
    return narrow;
}

class HostileFilter final : public IFilter, public IPersistFile {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IFilter))
            *object = static_cast<IFilter*>(this);
        else if (IsEqualGUID(riid, IID_IPersistFile) || IsEqualGUID(riid, IID_IPersist))
            *object = static_cast<IPersistFile*>(this);
        else
            return *object = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

    SCODE STDMETHODCALLTYPE Init(ULONG, ULONG, const FULLPROPSPEC*, ULONG* flags) override
    {
        *flags = 0;
        const std::string name = path.substr(path.rfind('/') + 1);
        if (name.find("crash") != std::string::npos)
            std::raise(SIGSEGV);  // as a bad read would, but past a sanitizer's checks
        if (name.find("hang") != std::string::npos)
            for (;;)
                ::pause();
        if (name.find("hog") != std::string::npos) {
            for (;;) {
                void* block = std::malloc(16 << 20);
                if (!block)
                    std::abort();
                std::memset(block, 1, 16 << 20);
            }
        }
        text = name;
        if (name.find("large") != std::string::npos)
            for (int copy = 1; copy < 25000; ++copy)
                text += " " + name;
        if (name.find("write") != std::string::npos) {
            FILE* written = std::fopen((path + ".written").c_str(), "w");
            text = written ? "wrote" : "refused";
            if (written)
                std::fclose(written);
        }
        return S_OK;
    }
    SCODE STDMETHODCALLTYPE GetChunk(STAT_CHUNK* stat) override
    {
        if (given)
            return FILTER_E_END_OF_CHUNKS;
        given = true;
        *stat = STAT_CHUNK{};
        stat->idChunk = 1;
        stat->flags = CHUNK_TEXT;
        stat->breakType = CHUNK_NO_BREAK;
        stat->attribute.guidPropSet = FMTID_SummaryInformation;
        stat->attribute.psProperty.ulKind = PRSPEC_PROPID;
        stat->attribute.psProperty.propid = PIDSI_TITLE;
        return S_OK;
    }
    SCODE STDMETHODCALLTYPE GetText(ULONG* count, WCHAR* buffer) override
    {
        if (sent == text.size() || !given)
            return FILTER_E_NO_MORE_TEXT;
        ULONG units = 0;
        for (; sent < text.size() && units < *count; ++units)
            buffer[units] = static_cast<WCHAR>(text[sent++]);
        *count = units;
        return sent == text.size() ? FILTER_S_LAST_TEXT : S_OK;
    }
    SCODE STDMETHODCALLTYPE GetValue(PROPVARIANT**) override { return FILTER_E_NO_VALUES; }
    SCODE STDMETHODCALLTYPE BindRegion(FILTERREGION, REFIID, void**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override { return *clsid = CLSID{}, S_OK; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override
    {
        path = Narrow(reinterpret_cast<const char16_t*>(name));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

private:
    ULONG references = 1;
    std::string path, text;
    bool given = false;
    size_t sent = 0;  // the units of the text given so far
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory))
            return *object = nullptr, E_NOINTERFACE;
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* filter = new (std::nothrow) HostileFilter;
        if (!filter)
            return E_OUTOFMEMORY;
        const HRESULT answer = filter->QueryInterface(riid, object);
        filter->Release();
        return answer;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID, REFIID riid, void** object)
{
    return factory.QueryInterface(riid, object);
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow()
{
    return S_OK;
}
