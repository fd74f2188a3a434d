// Opening and closing a header reading, and the reference count of the
// object that holds it. An open takes the reading kept of the same file,
// unchanged, when the last reading on this thread was of it (the filter,
// then the index host, each read every file once); otherwise it reads.
#include "header_reading.h"

#include "media_reading.h"
#include "recent_reading.h"
#include "text_conversion.h"

#include <new>

namespace platform {

HRESULT HeaderReading::QueryReading(REFIID riid, REFIID ownId, IUnknown* own, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == ownId) {
        *object = own;
    } else if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddReference();
    return S_OK;
}

ULONG HeaderReading::AddReference()
{
    return static_cast<ULONG>(references.fetch_add(1) + 1);
}

ULONG HeaderReading::ReleaseReference()
{
    const LONG remaining = references.fetch_sub(1) - 1;
    if (remaining == 0)
        delete this;
    return static_cast<ULONG>(remaining);
}

template <typename Open>
HRESULT HeaderReading::OpenWith(Open open)
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (opened)
        return NS_E_INVALID_REQUEST;  // Close first
    // Nothing of a failed open is kept: no attributes, no file, no memory
    // admitted.
    auto giveUp = [&](HRESULT failure) {
        attributes.Clear();
        file.Close();
        admission.Release();
        return failure;
    };
    try {
        const HRESULT result = open();
        opened = SUCCEEDED(result);
        return opened ? result : giveUp(result);
    } catch (const std::bad_alloc&) {
        return giveUp(E_OUTOFMEMORY);
    } catch (...) {
        return giveUp(NS_E_INVALID_INPUT_FORMAT);
    }
}

HRESULT HeaderReading::OpenPath(const WCHAR* name)
{
    if (!name)
        return E_POINTER;
    return OpenWith([&] {
        path = Utf8FromUtf16(name);
        if (ReopenRecent(path, file, attributes, admission))
            return S_OK;
        const HRESULT opened = file.Open(path);
        return FAILED(opened) ? opened : ReadMediaAttributes(file, attributes, admission);
    });
}

HRESULT HeaderReading::OpenFromStream(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    return OpenWith([&] {
        path.clear();
        const HRESULT opened = file.Open(stream);
        if (FAILED(opened))
            return opened;
        if (ReopenRecent(file, attributes, admission))
            return S_OK;
        return ReadMediaAttributes(file, attributes, admission);
    });
}

HRESULT HeaderReading::CloseReading()
{
    std::lock_guard<std::mutex> guard(stateLock);
    if (!opened)
        return NS_E_INVALID_REQUEST;
    KeepRecent(path, file, attributes);
    file.Close();
    admission.Release();
    opened = false;
    return S_OK;
}

HRESULT HeaderReading::WhenOpen(HRESULT result)
{
    std::lock_guard<std::mutex> guard(stateLock);
    return opened ? result : NS_E_INVALID_REQUEST;
}

}  // namespace platform
