// The registry-script interpreter: tokens, key blocks and the walk over the
// top-level root-key blocks. The walk allocates nothing from the heap; all
// its buffers are fixed and live on the stack of the call that uses them.
#pragma once

#include "key_holder.h"

namespace trellan {

struct ReplacementMap;

// Token buffers hold 4096 UTF-16 units: a quoted token at most 4094 units,
// a bare token at most 4095.
constexpr int kTokenUnits = 4096;
// Value names and remembered key names: 259 units and the NUL.
constexpr int kNameUnits = 260;
// Blocks nest at most this deep; a deeper script is refused with
// DISP_E_EXCEPTION so that a hostile script cannot exhaust the stack.
constexpr int kMaxBlockDepth = 128;

using TokenBuffer = WCHAR[kTokenUnits];

class ScriptParser {
public:
    explicit ScriptParser(ReplacementMap* map = nullptr) : map(map) {}

    // Expands the %name% references of `text`, then runs every top-level
    // block of the result.
    HRESULT RunScript(LPCWSTR text, bool registerMode);

    // Replaces every %name% with the value of `name` in `map` and every %%
    // with %. On success `out` receives the new text (task allocator);
    // on failure it is null.
    HRESULT ExpandReplacements(LPCWSTR text, LPWSTR* out);

    // Runs every top-level block of an already expanded script text:
    // a root-key name, then a token beginning with "{", then the block.
    // A block that fails to register is walked again to unregister what it
    // created (the recovery pass), and the run ends with the failure.
    HRESULT RunRootBlocks(LPCWSTR text, bool registerMode);

    // Reads the next token into `token`. DISP_E_EXCEPTION at the end of the
    // text, for a quoted token without its closing quote, and for a token
    // too long for the buffer.
    HRESULT NextToken(TokenBuffer& token);
    void SkipWhiteSpace();
    // The cursor stands on a single quote that is not followed by another.
    bool AtClosingQuote() const;

    // Walks one block whose "{" has been read, with `parent` as its key.
    // On return the block's closing token has been read.
    HRESULT ProcessKeyBlock(TokenBuffer& token, HKEY parent, bool registerMode, bool skipMode);

    // With "=" in `token`: reads the type letter and the value, writes the
    // value (null name: the key's default value), then reads the next token.
    HRESULT WriteValue(KeyHolder& key, LPCWSTR valueName, TokenBuffer& token);

    // With "=" in `token`: reads over the type and the value, then reads the
    // next token. Any other token is left as it is.
    HRESULT SkipAssignment(TokenBuffer& token);

    LPCWSTR cursor = nullptr;
    ReplacementMap* map = nullptr;
    // Where a register pass failed, before its recovery pass walked back:
    // for telling people where a script went wrong. Null otherwise (the
    // cursor is then where it stopped).
    LPCWSTR failedAt = nullptr;
    // The key that blocks of the root "HKCR" (or "HKEY_CLASSES_ROOT") work
    // in: HKEY_CLASSES_ROOT unless the caller chose another.
    HKEY classesRoot = HKEY_CLASSES_ROOT;

private:
    HRESULT UnregisterKeyItem(TokenBuffer& token, HKEY parent, KeyHolder& key, bool deleteAllowed,
                              bool& skipMode, bool skipOnEntry);
    HRESULT RegisterKeyItem(TokenBuffer& token, HKEY parent, KeyHolder& key);

    // The recovery pass after a failed register pass: the item whose name
    // ends after this point was never reached, and nothing of it or after
    // it is removed. Null outside the recovery pass.
    bool PastFailedPass() const { return failedPassEnd && cursor > failedPassEnd; }
    LPCWSTR failedPassEnd = nullptr;

    int blockDepth = 0;
    // Unregister is walking the block of a "CLSID" or "TYPELIB" key, or a
    // block nested in one: nothing there is removed by the same-name rule.
    bool underReservedKey = false;
};

// Removes `name` under `base` with all its subkeys. Answers a Win32 error
// code; nothing is removed when the key cannot be opened.
LONG RecurseDeleteKey(KeyHolder& base, LPCWSTR name);

// The key has at least one subkey.
bool HasSubkeys(HKEY key);

// The key has at least one named value (the default value alone does not
// count).
bool HasValues(HKEY key);

}  // namespace trellan
