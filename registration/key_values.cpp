// Assignments: "=" then a type letter ("S", "D", "B") then the value token.
#include "script_parser.h"
#include "script_tables.h"

namespace trellan {

HRESULT ScriptParser::WriteValue(KeyHolder& key, LPCWSTR valueName, TokenBuffer& token)
{
    TokenBuffer typeToken;
    HRESULT hr = NextToken(typeToken);
    if (FAILED(hr))
        return hr;
    const ValueTypeRow* type = LookupValueType(typeToken);
    if (!type)
        return DISP_E_EXCEPTION;

    SkipWhiteSpace();
    TokenBuffer valueText;
    hr = NextToken(valueText);
    if (FAILED(hr))
        return hr;

    // A value that cannot be written fails its item, so that the run
    // reports the failure and the recovery pass undoes the block.
    LONG written = ERROR_SUCCESS;
    switch (type->registryType) {
    case REG_SZ: {
        DWORD bytes = static_cast<DWORD>((lstrlenW(valueText) + 1) * sizeof(WCHAR));
        written = RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(valueText), bytes);
        break;
    }
    case REG_BINARY: {
        // Pairs of hexadecimal digits, the first of each pair the high half.
        int digits = lstrlenW(valueText);
        if (digits % 2 != 0)
            return E_FAIL;
        BYTE bytes[kTokenUnits / 2];
        for (int i = 0; i < digits / 2; ++i)
            bytes[i] = 0;
        for (int i = 0; i < digits; ++i)
            bytes[i / 2] |= static_cast<BYTE>(HexDigitValue(valueText[i]) << (i % 2 == 0 ? 4 : 0));
        written = RegSetValueExW(key.Get(), valueName, 0, REG_BINARY, bytes, static_cast<DWORD>(digits / 2));
        break;
    }
    case REG_DWORD: {
        // A number that does not convert writes nothing and fails the item.
        ULONG number = 0;
        if (FAILED(VarUI4FromStr(valueText, 0, 0, &number)))
            return DISP_E_EXCEPTION;
        written = RegSetValueExW(key.Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                 sizeof number);
        break;
    }
    }
    if (written != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(written);

    return NextToken(token);
}

HRESULT ScriptParser::SkipAssignment(TokenBuffer& token)
{
    if (token[0] != '=')
        return S_OK;
    HRESULT hr = NextToken(token);  // the type letter, not checked here
    if (FAILED(hr))
        return hr;
    SkipWhiteSpace();
    TokenBuffer valueText;
    hr = NextToken(valueText);
    if (FAILED(hr))
        return hr;
    return NextToken(token);
}

}  // namespace trellan
