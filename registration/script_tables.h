// The constant tables of the registry-script language: root keys, keywords,
// reserved key names and value types.
#pragma once

#include "winapi.h"

namespace trellan {

struct RootKeyRow {
    LPCWSTR name;
    HKEY key;
};

struct ValueTypeRow {
    LPCWSTR letter;
    VARTYPE automationType;
    DWORD registryType;
};

// First row whose name equals `name` (letter case ignored), or null.
HKEY LookupRootKey(LPCWSTR name);
const ValueTypeRow* LookupValueType(LPCWSTR letter);

// "Delete", "ForceRemove", "NoRemove", "Val", letter case ignored.
extern const WCHAR keywordDelete[];
extern const WCHAR keywordForceRemove[];
extern const WCHAR keywordNoRemove[];
extern const WCHAR keywordVal[];
bool IsKeyword(LPCWSTR token, LPCWSTR keyword);

// "CLSID" and "TYPELIB": never removed by a recursive delete.
bool IsReservedKeyName(LPCWSTR name);

// "0"-"9", "A"-"F", "a"-"f" give 0-15; anything else gives 0.
BYTE HexDigitValue(WCHAR digit);

}  // namespace trellan
