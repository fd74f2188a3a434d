// One block of a registry script: its key items, "ForceRemove", "NoRemove",
// "Delete" and "Val", in register and in unregister mode.
//
// In unregister mode a key is removed only when it could be opened, has no
// subkeys left once its own block was walked, and no "NoRemove" came before
// it in the block. Skip mode (inside or after a key that could not be
// opened, and in the recovery pass past the point where the failed register
// pass stopped) removes nothing.
#include "script_parser.h"
#include "script_tables.h"

namespace trellan {

namespace {

bool ClosesBlock(const TokenBuffer& token)
{
    return token[0] == '}';
}

// Only the one-character token "{" opens a block, so that key names such
// as "{5469E55E-...}" stay key names.
bool OpensBlock(const TokenBuffer& token)
{
    return token[0] == '{' && token[1] == 0;
}

bool StartsAssignment(const TokenBuffer& token)
{
    return token[0] == '=';
}

// One level of the registry path: not empty (an empty name would address
// the parent itself) and without a backslash.
bool IsUsableKeyName(LPCWSTR name)
{
    if (*name == 0)
        return false;
    for (; *name; ++name) {
        if (*name == '\\')
            return false;
    }
    return true;
}

// Sets a flag for the length of a scope and puts its old value back.
class FlagScope {
public:
    FlagScope(bool& flag, bool value) : flag(flag), saved(flag) { flag = value; }
    ~FlagScope() { flag = saved; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag;
    bool saved;
};

// Unregister opens a key so that the values its block lists with "Val" can
// be deleted; a key that allows no more is walked as it opens.
LONG OpenForUnregister(KeyHolder& key, HKEY parent, LPCWSTR name)
{
    if (key.Open(parent, name, KEY_READ | KEY_SET_VALUE) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return key.Open(parent, name, KEY_READ);
}

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth(depth) { ++depth; }
    ~DepthGuard() { --depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth;
};

}  // namespace

HRESULT ScriptParser::ProcessKeyBlock(TokenBuffer& token, HKEY parent, bool registerMode, bool skipMode)
{
    if (blockDepth >= kMaxBlockDepth)
        return DISP_E_EXCEPTION;
    DepthGuard depthGuard(blockDepth);

    bool deleteAllowed = true;
    const bool skipOnEntry = skipMode;
    KeyHolder key;  // closes its key on every return
    WCHAR valueName[kNameUnits];

    HRESULT hr = NextToken(token);
    if (FAILED(hr))
        return hr;
    for (;;) {
        // The end of the block.
        if (ClosesBlock(token)) {
            key.Close();
            return S_OK;
        }

        // "Delete" and "ForceRemove": on register the named key goes first,
        // with all its subkeys; on unregister the keyword does nothing.
        bool isDelete = IsKeyword(token, keywordDelete);
        if (isDelete || IsKeyword(token, keywordForceRemove)) {
            hr = NextToken(token);
            if (FAILED(hr))
                return hr;
            if (registerMode) {
                if (!IsUsableKeyName(token))
                    return DISP_E_EXCEPTION;
                if (!IsReservedKeyName(token)) {
                    KeyHolder borrowedParent;
                    borrowedParent.Borrow(parent);
                    RecurseDeleteKey(borrowedParent, token);
                }
                if (isDelete) {
                    hr = NextToken(token);
                    if (FAILED(hr))
                        return hr;
                    hr = SkipAssignment(token);
                    if (FAILED(hr))
                        return hr;
                    if (OpensBlock(token))  // "Delete" opens no key for a block
                        return DISP_E_EXCEPTION;
                    continue;
                }
            }
        }

        // "NoRemove": neither this key nor any later one in the block is
        // removed on unregister.
        if (IsKeyword(token, keywordNoRemove)) {
            deleteAllowed = false;
            hr = NextToken(token);
            if (FAILED(hr))
                return hr;
        }

        // "Val" name = type value: a value of the block's own key.
        if (IsKeyword(token, keywordVal)) {
            hr = NextToken(token);
            if (FAILED(hr))
                return hr;
            if (lstrlenW(token) >= kNameUnits)
                return DISP_E_EXCEPTION;
            lstrcpyW(valueName, token);
            hr = NextToken(token);
            if (FAILED(hr))
                return hr;
            if (!StartsAssignment(token))
                return DISP_E_EXCEPTION;
            if (registerMode) {
                KeyHolder borrowedParent;
                borrowedParent.Borrow(parent);
                hr = WriteValue(borrowedParent, valueName, token);
                if (FAILED(hr))
                    return hr;
                if (OpensBlock(token))  // a value opens no key for a block
                    return DISP_E_EXCEPTION;
            } else {
                if (!skipMode && !PastFailedPass())
                    RegDeleteValueW(parent, valueName);
                hr = SkipAssignment(token);
                if (FAILED(hr))
                    return hr;
            }
            continue;
        }

        // Otherwise the token is a key name.
        if (!IsUsableKeyName(token))
            return DISP_E_EXCEPTION;
        if (registerMode)
            hr = RegisterKeyItem(token, parent, key);
        else
            hr = UnregisterKeyItem(token, parent, key, deleteAllowed, skipMode, skipOnEntry);
        if (FAILED(hr))
            return hr;
    }
}

// Opens the key (for all access, else for reading) or creates it, writes its
// default value if one is assigned, and walks its block. Leaves the token
// after the item in `token`.
HRESULT ScriptParser::RegisterKeyItem(TokenBuffer& token, HKEY parent, KeyHolder& key)
{
    if (key.Open(parent, token, KEY_ALL_ACCESS) != ERROR_SUCCESS &&
        key.Open(parent, token, KEY_READ) != ERROR_SUCCESS) {
        HKEY created = nullptr;
        if (RegCreateKeyExW(parent, token, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                            nullptr) != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        LONG closed = key.Close();
        key.Attach(created);
        if (closed != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
    }

    HRESULT hr = NextToken(token);
    if (FAILED(hr))
        return hr;
    if (StartsAssignment(token)) {
        hr = WriteValue(key, nullptr, token);
        if (FAILED(hr))
            return hr;
    }

    if (OpensBlock(token)) {
        hr = ProcessKeyBlock(token, key.Get(), true, false);
        if (FAILED(hr))
            return hr;
        hr = NextToken(token);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// Walks the key's block and removes the key where the rules allow. Leaves
// the token after the item in `token`.
HRESULT ScriptParser::UnregisterKeyItem(TokenBuffer& token, HKEY parent, KeyHolder& key, bool deleteAllowed,
                                        bool& skipMode, bool skipOnEntry)
{
    // A key that cannot be opened turns skip mode on, and so does one that
    // the failed register pass never reached.
    if (!skipMode && (PastFailedPass() || OpenForUnregister(key, parent, token) != ERROR_SUCCESS))
        skipMode = true;

    WCHAR keyName[kNameUnits];
    lstrcpynW(keyName, token, kNameUnits);

    // A key without subkeys and without named values goes at once; its
    // block, if any, is walked in skip mode.
    if (!skipMode && !HasSubkeys(key.Get()) && !HasValues(key.Get())) {
        if (key.Close() != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        if (deleteAllowed)
            RegDeleteKeyW(parent, keyName);
        HRESULT hr = NextToken(token);
        if (FAILED(hr))
            return hr;
        hr = SkipAssignment(token);
        if (FAILED(hr))
            return hr;
        if (OpensBlock(token)) {
            hr = ProcessKeyBlock(token, key.Get(), false, true);
            if (FAILED(hr))
                return hr;
            hr = NextToken(token);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    // Otherwise its block is walked first.
    HRESULT hr = NextToken(token);
    if (FAILED(hr))
        return hr;
    hr = SkipAssignment(token);
    if (FAILED(hr))
        return hr;
    bool hadBlock = OpensBlock(token);
    if (hadBlock) {
        FlagScope reserved(underReservedKey, underReservedKey || IsReservedKeyName(keyName));
        hr = ProcessKeyBlock(token, key.Get(), false, skipMode);
        if (FAILED(hr))
            return hr;
        if (skipMode) {
            // After a key with a block, the next sibling is tried again.
            skipMode = skipOnEntry;
            return NextToken(token);
        }
    } else if (skipMode) {
        // After a key without a block, skip mode stays on for the rest of
        // the enclosing block.
        return S_OK;
    }

    // The block is walked: the key goes if it has no subkeys left. A key
    // that keeps subkeys only loses a subkey bearing its own name, never
    // under "NoRemove" and never for "CLSID" or "TYPELIB" or anything at
    // any depth below them.
    if (!HasSubkeys(key.Get())) {
        if (key.Close() != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        if (deleteAllowed)
            RegDeleteKeyW(parent, keyName);
    } else if (deleteAllowed && !underReservedKey && !IsReservedKeyName(keyName)) {
        RecurseDeleteKey(key, keyName);
    }
    if (hadBlock)
        return NextToken(token);
    return S_OK;
}

}  // namespace trellan
