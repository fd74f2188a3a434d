// The host's side of one filter's trip over one file: the binding, Init,
// and the chunk walk with GetText and GetValue.
#include "filtering/chunk_walk.h"

#include "com_ptr.h"

namespace host {
namespace {

// Reads the text of the current chunk in pieces of `bufferUnits`.
void ReadText(IFilter* filter, ChunkRecord& chunk, ULONG bufferUnits)
{
    std::u16string buffer(bufferUnits, u'\0');
    for (;;) {
        ULONG units = bufferUnits;
        HRESULT result = filter->GetText(&units, reinterpret_cast<WCHAR*>(buffer.data()));
        if (FAILED(result))
            return;  // FILTER_E_NO_MORE_TEXT, or a failure that ends the chunk
        chunk.text.append(buffer.data(), units > bufferUnits ? bufferUnits : units);
        if (result == FILTER_S_LAST_TEXT || (units == 0 && bufferUnits != 0))
            return;
    }
}

void ReadValue(IFilter* filter, ChunkRecord& chunk)
{
    PROPVARIANT* value = nullptr;
    chunk.valueStatus = filter->GetValue(&value);
    if (FAILED(chunk.valueStatus) || !value)
        return;
    chunk.valueType = value->vt;
    if (value->vt == VT_LPWSTR && value->pwszVal)
        chunk.value = reinterpret_cast<const char16_t*>(value->pwszVal);
    PropVariantClear(value);
    CoTaskMemFree(value);
}

// Binds the filter to the file: S_OK, or the failure that ends the walk.
HRESULT Bind(IFilter* filter, FileRecord& record, Binding binding)
{
    trellan::ComPtr<IPersistStream> persistStream;
    if (binding != Binding::path &&
        SUCCEEDED(filter->QueryInterface(IID_IPersistStream, persistStream.ReceiveVoid())) && persistStream) {
        record.byStream = true;
        // A stream the caller opened already (a worker is handed the file
        // open), else one over the path.
        const HRESULT opened = record.stream ? S_OK
                                             : SHCreateStreamOnFileEx(reinterpret_cast<LPCWSTR>(record.path.c_str()),
                                                                      STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE,
                                                                      nullptr, record.stream.Receive());
        if (FAILED(opened))
            return FILTER_E_ACCESS;  // the cause, from a look at the path, says why
        return persistStream->Load(record.stream.Get());
    }
    if (binding == Binding::stream) {
        record.cause = "the filter cannot be given a stream: it does not answer IPersistStream";
        record.outside = true;
        return E_NOINTERFACE;
    }
    trellan::ComPtr<IPersistFile> persistFile;
    const HRESULT found = filter->QueryInterface(IID_IPersistFile, persistFile.ReceiveVoid());
    if (FAILED(found))
        return found;
    return persistFile->Load(reinterpret_cast<LPCOLESTR>(record.path.c_str()), STGM_READ);
}

}  // namespace

void WalkFile(IFilter* filter, FileRecord& record, ULONG bufferUnits, Binding binding, size_t maximumChunks)
{
    record.status = Bind(filter, record, binding);
    if (FAILED(record.status))
        return;

    ULONG flags = 0;
    record.status = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr,
                                 &flags);
    if (FAILED(record.status))
        return;

    while (record.chunks.size() < maximumChunks) {
        ChunkRecord chunk;
        if (FAILED(filter->GetChunk(&chunk.stat)))
            break;
        if (chunk.stat.flags & CHUNK_TEXT)
            ReadText(filter, chunk, bufferUnits);
        if (chunk.stat.flags & CHUNK_VALUE)
            ReadValue(filter, chunk);
        record.chunks.push_back(std::move(chunk));
    }
}

}  // namespace host
