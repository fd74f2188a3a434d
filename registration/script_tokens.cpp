// Tokens: white space separates them; a quoted token runs to its closing
// quote ('' stands for one quote), any other token to the next white space.
#include "script_parser.h"

namespace trellan {

namespace {

bool IsWhiteSpace(WCHAR unit)
{
    return unit == 0x09 || unit == 0x0A || unit == 0x0D || unit == 0x20;
}

// The write position at which a quoted token is refused, and the most units
// a bare token may hold: both leave room for the NUL.
constexpr int kQuotedLimit = kTokenUnits - 2;
constexpr int kBareLimit = kTokenUnits - 1;

}  // namespace

void ScriptParser::SkipWhiteSpace()
{
    while (IsWhiteSpace(*cursor))
        cursor = CharNextW(cursor);
}

bool ScriptParser::AtClosingQuote() const
{
    return cursor[0] == '\'' && cursor[1] != '\'';
}

HRESULT ScriptParser::NextToken(TokenBuffer& token)
{
    SkipWhiteSpace();
    if (*cursor == 0)
        return DISP_E_EXCEPTION;

    int length = 0;
    if (*cursor == '\'') {
        cursor = CharNextW(cursor);
        while (!AtClosingQuote()) {
            if (*cursor == 0)
                return DISP_E_EXCEPTION;
            if (length >= kQuotedLimit)
                return DISP_E_EXCEPTION;
            if (*cursor == '\'')  // the first of a doubled quote
                cursor = CharNextW(cursor);
            LPCWSTR next = CharNextW(cursor);
            if (length + (next - cursor) > kBareLimit)
                return DISP_E_EXCEPTION;
            while (cursor < next)
                token[length++] = *cursor++;
        }
        cursor = CharNextW(cursor);
    } else {
        while (*cursor != 0 && !IsWhiteSpace(*cursor)) {
            LPCWSTR next = CharNextW(cursor);
            if (length + (next - cursor) > kBareLimit)
                return DISP_E_EXCEPTION;
            while (cursor < next)
                token[length++] = *cursor++;
        }
    }
    token[length] = 0;
    return S_OK;
}

}  // namespace trellan
