// The IFilter side of the filter object: Init and the chunk walk.
//
// Every file yields the same four chunks: the contents as text, then the
// title, the author and the comments as string values.
#include "wm_filter.h"

#include <algorithm>

namespace trellan {
namespace {

struct ChunkRow {
    ULONG idChunk;
    CHUNKSTATE flags;
    GUID guidPropSet;
    PROPID propid;
};

const ChunkRow chunkTable[] = {
    {1, CHUNK_TEXT, PSGUID_STORAGE, PID_STG_CONTENTS},
    {2, CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_TITLE},
    {3, CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_AUTHOR},
    {4, CHUNK_VALUE, FMTID_SummaryInformation, PIDSI_COMMENTS},
};
const ULONG chunkCount = sizeof chunkTable / sizeof chunkTable[0];
const ULONG textChunk = 1;

// Every chunk names the text chunk as its source.
const ULONG chunkSource = 1;

}  // namespace

SCODE STDMETHODCALLTYPE WMFilter::Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                                       ULONG* pFlags)
{
    HRESULT result;
    EnterCriticalSection(&filterLock);

    currentChunk = 0;
    textPosition = 0;
    valueDelivered = false;

    try {
        bodyText.clear();
        title.clear();
        author.clear();
        description.clear();

        initialized = true;

        if (pFlags)
            *pFlags = 0;  // no properties beyond the chunks

        // The object holds a path or a stream, never both.
        if (fileStream)
            result = SUCCEEDED(HarvestStream(fileStream)) ? S_OK : FILTER_E_ACCESS;
        else if (!filePath)
            result = E_FAIL;
        else
            result = SUCCEEDED(HarvestMetadata(filePath)) ? S_OK : FILTER_E_ACCESS;
    } catch (...) {
        // The harvest's interfaces are released as its scope unwinds.
        result = E_FAIL;
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

SCODE STDMETHODCALLTYPE WMFilter::GetChunk(STAT_CHUNK* pStat)
{
    if (!pStat)
        return E_POINTER;

    HRESULT result;
    EnterCriticalSection(&filterLock);

    if (!initialized) {
        result = FILTER_E_END_OF_CHUNKS;
    } else {
        ++currentChunk;  // also after the end: the count is not held at 5
        textPosition = 0;
        valueDelivered = false;

        if (currentChunk > chunkCount) {
            result = FILTER_E_END_OF_CHUNKS;
        } else {
            const ChunkRow& row = chunkTable[currentChunk - 1];
            pStat->idChunk = currentChunk;
            pStat->breakType = CHUNK_NO_BREAK;
            pStat->flags = row.flags;
            pStat->locale = GetSystemDefaultLCID();
            pStat->attribute.guidPropSet = row.guidPropSet;
            pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
            pStat->attribute.psProperty.propid = row.propid;
            pStat->idChunkSource = chunkSource;
            pStat->cwcStartSource = 0;
            pStat->cwcLenSource = 0;
            result = S_OK;
        }
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

SCODE STDMETHODCALLTYPE WMFilter::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer)
{
    if (!pcwcBuffer || (!awcBuffer && *pcwcBuffer != 0))
        return E_POINTER;

    HRESULT result;
    EnterCriticalSection(&filterLock);

    try {
        const ULONG length = static_cast<ULONG>(bodyText.size());
        if (currentChunk != textChunk || textPosition == length) {
            *pcwcBuffer = 0;
            result = FILTER_E_NO_MORE_TEXT;
        } else {
            // Cut by count alone: a surrogate pair may be split between calls.
            const ULONG count = std::min(*pcwcBuffer, length - textPosition);
            std::copy_n(bodyText.data() + textPosition, count, awcBuffer);
            textPosition += count;
            *pcwcBuffer = count;
            result = textPosition == length ? FILTER_S_LAST_TEXT : S_OK;
        }
    } catch (...) {
        result = FILTER_E_NO_MORE_TEXT;
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

SCODE STDMETHODCALLTYPE WMFilter::GetValue(PROPVARIANT** ppPropValue)
{
    if (!ppPropValue)
        return E_POINTER;

    HRESULT result;
    EnterCriticalSection(&filterLock);

    if (valueDelivered) {
        result = FILTER_E_NO_MORE_VALUES;
    } else {
        valueDelivered = true;  // before the chunk is looked at

        const HeapString* selected = currentChunk == 2   ? &title
                                     : currentChunk == 3 ? &author
                                     : currentChunk == 4 ? &description
                                                         : nullptr;
        if (!selected) {
            result = FILTER_E_NO_VALUES;
        } else if (PROPVARIANT* value = MakeStringValue(*selected)) {
            *ppPropValue = value;
            result = S_OK;
        } else {
            // Nothing was delivered: a later call may try again.
            valueDelivered = false;
            result = E_OUTOFMEMORY;
        }
    }

    LeaveCriticalSection(&filterLock);
    return result;
}

SCODE STDMETHODCALLTYPE WMFilter::BindRegion(FILTERREGION, REFIID, void**)
{
    return E_NOTIMPL;
}

PROPVARIANT* WMFilter::MakeStringValue(const HeapString& text)
{
    auto* value = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT)));
    if (!value)
        return nullptr;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (!copy) {
        CoTaskMemFree(value);
        return nullptr;
    }
    std::copy_n(text.c_str(), text.size() + 1, copy);
    value->vt = VT_LPWSTR;
    value->pwszVal = copy;
    return value;
}

}  // namespace trellan
