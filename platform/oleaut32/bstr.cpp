// BSTRs as the platform lays them out: a 32-bit length in bytes, then the
// text, then a NUL unit that the length does not count. A BSTR points at the
// text, just after its length.
#include <win32/typelib.h>

#include <climits>

namespace {

constexpr size_t prefixSize = sizeof(DWORD);

DWORD* PrefixOf(BSTR text)
{
    return reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(text) - prefixSize);
}

// A BSTR of `bytes` bytes, filled from `source` (or zeros) and terminated.
BSTR Allocate(const void* source, size_t bytes)
{
    // Room for the prefix and a NUL unit; the length prefix is 32-bit.
    if (bytes > UINT_MAX - prefixSize - sizeof(OLECHAR) - 1)
        return nullptr;
    size_t total = prefixSize + bytes + sizeof(OLECHAR);
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(total));
    if (!block)
        return nullptr;
    DWORD length = static_cast<DWORD>(bytes);
    std::memcpy(block, &length, prefixSize);
    if (source)
        std::memcpy(block + prefixSize, source, bytes);
    else
        std::memset(block + prefixSize, 0, bytes);
    // An odd byte length still ends with a whole NUL unit.
    std::memset(block + prefixSize + bytes, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(block + prefixSize);
}

}  // namespace

extern "C" {

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return SysAllocStringLen(text, static_cast<UINT>(length > UINT_MAX ? UINT_MAX : length));
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > (UINT_MAX - prefixSize) / sizeof(OLECHAR))
        return nullptr;
    return Allocate(text, size_t(length) * sizeof(OLECHAR));
}

BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR bytes, UINT length)
{
    return Allocate(bytes, length);
}

void STDAPICALLTYPE SysFreeString(BSTR text)
{
    if (text)
        CoTaskMemFree(PrefixOf(text));
}

UINT STDAPICALLTYPE SysStringLen(BSTR text)
{
    return text ? *PrefixOf(text) / sizeof(OLECHAR) : 0;
}

UINT STDAPICALLTYPE SysStringByteLen(BSTR text)
{
    return text ? *PrefixOf(text) : 0;
}

}  // extern "C"
