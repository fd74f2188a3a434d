// The COM task allocator over the C library's allocator.
#include "kernel32/allocation_seam.h"

#include <win32/ole32.h>

#include <cstdlib>

extern "C" {

void* STDAPICALLTYPE CoTaskMemAlloc(SIZE_T bytes)
{
    if (platform::AllocationShouldFail())
        return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void* STDAPICALLTYPE CoTaskMemRealloc(void* block, SIZE_T bytes)
{
    if (platform::AllocationShouldFail())
        return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

void STDAPICALLTYPE CoTaskMemFree(void* block)
{
    std::free(block);
}

HRESULT STDAPICALLTYPE PropVariantClear(PROPVARIANT* value)
{
    if (!value)
        return S_OK;
    switch (value->vt) {
    case VT_LPWSTR:
    case VT_LPSTR:
        CoTaskMemFree(value->pwszVal);
        break;
    case VT_BLOB:
        CoTaskMemFree(value->blob.pBlobData);
        break;
    case VT_CLSID:
        CoTaskMemFree(value->puuid);
        break;
    default:
        break;
    }
    std::memset(value, 0, sizeof *value);
    return S_OK;
}

}  // extern "C"
