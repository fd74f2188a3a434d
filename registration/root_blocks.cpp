// The walk over a script's top-level blocks: a root-key name, a token that
// begins with "{", the block.
#include "script_parser.h"
#include "script_tables.h"

namespace trellan {

HRESULT ScriptParser::RunRootBlocks(LPCWSTR text, bool registerMode)
{
    TokenBuffer token;
    cursor = text;
    HRESULT hr = S_OK;
    // White space alone, like an empty text, holds no block.
    SkipWhiteSpace();
    while (*cursor != 0) {
        hr = NextToken(token);
        if (FAILED(hr))
            break;
        HKEY root = LookupRootKey(token);
        if (root == HKEY_CLASSES_ROOT)
            root = classesRoot;
        if (!root) {
            hr = DISP_E_EXCEPTION;
            break;
        }
        hr = NextToken(token);
        if (FAILED(hr))
            break;
        if (token[0] != '{') {
            hr = DISP_E_EXCEPTION;
            break;
        }
        if (registerMode) {
            LPCWSTR blockStart = cursor;
            hr = ProcessKeyBlock(token, root, true, false);
            if (FAILED(hr)) {
                // The recovery pass: unregister what the failed pass created,
                // up to where it stopped; what it never reached is left.
                failedAt = cursor;
                failedPassEnd = cursor;
                cursor = blockStart;
                ProcessKeyBlock(token, root, false, false);
                failedPassEnd = nullptr;
                break;
            }
        } else {
            hr = ProcessKeyBlock(token, root, false, false);
            if (FAILED(hr))
                break;
        }
        SkipWhiteSpace();
    }
    return hr;
}

}  // namespace trellan
