// The stream binding of the filter object, the one Windows Search uses: the
// indexer runs filters in a host that may not open files, and hands each
// one a stream (IPersistStream::Load, or IInitializeWithStream::Initialize
// for a handler it runs isolated). Like IPersistFile::Load, both keep what
// they are given, a reference on the stream, in place of any path or stream
// bound before, and touch nothing else; the harvest reads the stream at the
// next Init. Nothing is ever saved.
#include "wm_filter.h"

namespace trellan {

HRESULT STDMETHODCALLTYPE WMFilter::Load(IStream* pStm)
{
    if (!pStm)
        return E_POINTER;

    EnterCriticalSection(&filterLock);
    BindStream(pStm);
    LeaveCriticalSection(&filterLock);
    return S_OK;
}

// Nothing of the filter is persistent: there is nothing to write.
HRESULT STDMETHODCALLTYPE WMFilter::Save(IStream*, BOOL)
{
    return STG_E_CANTSAVE;
}

// With nothing to save there is no size to give.
HRESULT STDMETHODCALLTYPE WMFilter::GetSizeMax(ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

// A handler is initialised once: a second call is refused, whatever was
// bound meanwhile. `grfMode` asks for reading or writing; the filter reads.
HRESULT STDMETHODCALLTYPE WMFilter::Initialize(IStream* pstream, DWORD)
{
    if (!pstream)
        return E_POINTER;

    HRESULT result = S_OK;
    EnterCriticalSection(&filterLock);
    if (streamInitialized) {
        result = HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    } else {
        BindStream(pstream);
        streamInitialized = true;
    }
    LeaveCriticalSection(&filterLock);
    return result;
}

void WMFilter::BindStream(IStream* stream)
{
    stream->AddRef();  // first: the stream bound before may be this one
    Unbind();
    fileStream = stream;
}

}  // namespace trellan
