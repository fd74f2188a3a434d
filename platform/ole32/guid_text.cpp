// GUIDs to and from their braced text form.
#include <win32/ole32.h>

#include <cstdint>

namespace {

int HexValue(WCHAR unit)
{
    if (unit >= u'0' && unit <= u'9')
        return unit - u'0';
    if (unit >= u'a' && unit <= u'f')
        return unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F')
        return unit - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[position]; false on anything else.
bool ReadHex(LPCOLESTR text, int& position, int digits, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int digit = HexValue(text[position]);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
        ++position;
    }
    return true;
}

bool Expect(LPCOLESTR text, int& position, WCHAR unit)
{
    if (text[position] != unit)
        return false;
    ++position;
    return true;
}

bool ParseGuid(LPCOLESTR text, GUID& guid)
{
    int position = 0;
    uint32_t value;
    if (!text || !Expect(text, position, u'{') || !ReadHex(text, position, 8, value))
        return false;
    guid.Data1 = value;
    if (!Expect(text, position, u'-') || !ReadHex(text, position, 4, value))
        return false;
    guid.Data2 = static_cast<WORD>(value);
    if (!Expect(text, position, u'-') || !ReadHex(text, position, 4, value))
        return false;
    guid.Data3 = static_cast<WORD>(value);
    if (!Expect(text, position, u'-'))
        return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(text, position, u'-'))
            return false;
        if (!ReadHex(text, position, 2, value))
            return false;
        guid.Data4[i] = static_cast<BYTE>(value);
    }
    return Expect(text, position, u'}') && text[position] == 0;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR text, CLSID* clsid)
{
    if (!clsid)
        return E_INVALIDARG;
    GUID parsed;
    if (!ParseGuid(text, parsed))
        return CO_E_CLASSSTRING;
    *clsid = parsed;
    return S_OK;
}

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR text, IID* iid)
{
    if (!iid)
        return E_INVALIDARG;
    GUID parsed;
    if (!ParseGuid(text, parsed))
        return E_INVALIDARG;
    *iid = parsed;
    return S_OK;
}

int STDAPICALLTYPE StringFromGUID2(REFGUID guid, LPOLESTR text, int units)
{
    const int needed = 39;
    if (!text || units < needed)
        return 0;
    // Hex digits by hand: hosts write a property set's text for every chunk.
    static const char digits[] = "0123456789ABCDEF";
    WCHAR* out = text;
    auto hex = [&out](uint32_t value, int count) {
        for (int shift = 4 * (count - 1); shift >= 0; shift -= 4)
            *out++ = static_cast<WCHAR>(digits[(value >> shift) & 0xF]);
    };
    *out++ = u'{';
    hex(guid.Data1, 8);
    *out++ = u'-';
    hex(guid.Data2, 4);
    *out++ = u'-';
    hex(guid.Data3, 4);
    *out++ = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            *out++ = u'-';
        hex(guid.Data4[i], 2);
    }
    *out++ = u'}';
    *out = 0;
    return needed;
}

}  // extern "C"
