#include "script_tables.h"

namespace trellan {

namespace {

const RootKeyRow rootKeyTable[] = {
    {OLESTR("HKCR"), HKEY_CLASSES_ROOT},
    {OLESTR("HKCU"), HKEY_CURRENT_USER},
    {OLESTR("HKLM"), HKEY_LOCAL_MACHINE},
    {OLESTR("HKU"), HKEY_USERS},
    {OLESTR("HKPD"), HKEY_PERFORMANCE_DATA},
    {OLESTR("HKDD"), HKEY_DYN_DATA},
    {OLESTR("HKCC"), HKEY_CURRENT_CONFIG},
    {OLESTR("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
    {OLESTR("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
    {OLESTR("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
    {OLESTR("HKEY_USERS"), HKEY_USERS},
    {OLESTR("HKEY_PERFORMANCE_DATA"), HKEY_PERFORMANCE_DATA},
    {OLESTR("HKEY_DYN_DATA"), HKEY_DYN_DATA},
    {OLESTR("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG},
};

const ValueTypeRow valueTypeTable[] = {
    {OLESTR("S"), VT_BSTR, REG_SZ},
    {OLESTR("D"), VT_UI4, REG_DWORD},
    {OLESTR("B"), VT_UI1, REG_BINARY},
};

const LPCWSTR reservedKeyNames[] = {
    OLESTR("CLSID"),
    OLESTR("TYPELIB"),
};

}  // namespace

const WCHAR keywordDelete[] = OLESTR("Delete");
const WCHAR keywordForceRemove[] = OLESTR("ForceRemove");
const WCHAR keywordNoRemove[] = OLESTR("NoRemove");
const WCHAR keywordVal[] = OLESTR("Val");

HKEY LookupRootKey(LPCWSTR name)
{
    for (const RootKeyRow& row : rootKeyTable) {
        if (lstrcmpiW(name, row.name) == 0)
            return row.key;
    }
    return nullptr;
}

const ValueTypeRow* LookupValueType(LPCWSTR letter)
{
    for (const ValueTypeRow& row : valueTypeTable) {
        if (lstrcmpiW(letter, row.letter) == 0)
            return &row;
    }
    return nullptr;
}

bool IsKeyword(LPCWSTR token, LPCWSTR keyword)
{
    return lstrcmpiW(token, keyword) == 0;
}

bool IsReservedKeyName(LPCWSTR name)
{
    for (LPCWSTR reserved : reservedKeyNames) {
        if (lstrcmpiW(name, reserved) == 0)
            return true;
    }
    return false;
}

BYTE HexDigitValue(WCHAR digit)
{
    if (digit >= '0' && digit <= '9')
        return static_cast<BYTE>(digit - '0');
    if (digit >= 'A' && digit <= 'F')
        return static_cast<BYTE>(digit - 'A' + 10);
    if (digit >= 'a' && digit <= 'f')
        return static_cast<BYTE>(digit - 'a' + 10);
    return 0;
}

}  // namespace trellan
