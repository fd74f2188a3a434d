// Tokens of the script language, and its constant tables.
#include "support/script_fixture.h"
#include "script_tables.h"

#include <vector>

namespace trellan::test {
namespace {

struct TokenRun {
    std::vector<std::string> tokens;  // every token read before the first failure
    HRESULT failure = S_OK;
};

TokenRun ReadTokens(const std::u16string& text)
{
    ScriptParser parser;
    parser.cursor = text.c_str();
    TokenRun run;
    TokenBuffer token;
    for (;;) {
        HRESULT hr = parser.NextToken(token);
        if (FAILED(hr)) {
            run.failure = hr;
            return run;
        }
        run.tokens.push_back(Utf8(token));
    }
}

struct TokenCase {
    const char* text;
    std::vector<std::string> tokens;
};

TEST(Tokens, QuotingWhiteSpaceAndBareTokens)
{
    const TokenCase cases[] = {
        {"", {}},
        {" \t\r\n ", {}},
        {"HKCR { }", {"HKCR", "{", "}"}},
        {"'it''s'", {"it's"}},
        {"''", {""}},
        {"''''", {"'"}},
        {"'a'b", {"a", "b"}},
        {"'a''b'c", {"a'b", "c"}},
        {"Key=s", {"Key=s"}},
        {"a=b {x} 'q'", {"a=b", "{x}", "q"}},
        {"'}'", {"}"}},
        {"'two words' next", {"two words", "next"}},
        {"'line\nbreak'", {"line\nbreak"}},
        {"\ta\rb\nc d", {"a", "b", "c", "d"}},
        {"a\fb", {"a\fb"}},  // form feed is not white space
        {"'open", {}},        // end of text inside a quote
        {"x 'open''", {"x"}},
        {"it's", {"it's"}},  // a quote inside a bare token is a plain character
        {"{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}", {"{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"}},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80x", {"caf\xc3\xa9", "\xf0\x9f\x98\x80x"}},
    };
    for (const TokenCase& row : cases) {
        TokenRun run = ReadTokens(Utf16(row.text));
        EXPECT_EQ(run.tokens, row.tokens) << row.text;
        EXPECT_EQ(run.failure, DISP_E_EXCEPTION) << row.text;  // every run ends where a token is missing
    }
}

TEST(Tokens, LengthLimitsLeaveRoomForTheNul)
{
    struct LengthCase {
        const char* what;
        std::u16string text;
        size_t expectedLength;  // 0: refused
    };
    const std::u16string pair = u"\U0001F600";
    const LengthCase cases[] = {
        {"quoted 4094 units", u"'" + std::u16string(4094, u'q') + u"'", 4094},
        {"quoted 4095 units", u"'" + std::u16string(4095, u'q') + u"'", 0},
        {"quoted with a doubled quote at the limit", u"'" + std::u16string(4093, u'q') + u"'''", 4094},
        {"quoted ending in a surrogate pair at 4093", u"'" + std::u16string(4093, u'q') + pair + u"'", 4095},
        {"bare 4095 units", std::u16string(4095, u'b'), 4095},
        {"bare 4096 units", std::u16string(4096, u'b'), 0},
        {"bare surrogate pair past the limit", std::u16string(4094, u'b') + pair, 0},
        {"bare surrogate pair at the limit", std::u16string(4093, u'b') + pair, 4095},
    };
    for (const LengthCase& row : cases) {
        TokenRun run = ReadTokens(row.text);
        if (row.expectedLength == 0) {
            EXPECT_TRUE(run.tokens.empty()) << row.what;
        } else {
            ASSERT_EQ(run.tokens.size(), 1u) << row.what;
            EXPECT_EQ(Utf16(run.tokens[0]).size(), row.expectedLength) << row.what;
        }
        EXPECT_EQ(run.failure, DISP_E_EXCEPTION) << row.what;
    }
}

TEST(Tokens, ClosingQuoteAndWhiteSpaceSkipping)
{
    struct QuoteCase {
        const char16_t* text;
        bool closing;
    };
    const QuoteCase cases[] = {{u"'", true}, {u"' ", true}, {u"''", false}, {u"a'", false}, {u"", false}};
    for (const QuoteCase& row : cases) {
        ScriptParser parser;
        parser.cursor = row.text;
        EXPECT_EQ(parser.AtClosingQuote(), row.closing) << Utf8(row.text);
    }
    ScriptParser parser;
    const std::u16string text = u" \t\r\n x";
    parser.cursor = text.c_str();
    parser.SkipWhiteSpace();
    EXPECT_EQ(*parser.cursor, u'x');
}

TEST(ScriptTables, RootKeysValueTypesAndHexDigits)
{
    struct RootCase {
        const char16_t* name;
        HKEY key;
    };
    const RootCase roots[] = {
        {u"HKCR", HKEY_CLASSES_ROOT},         {u"hkcr", HKEY_CLASSES_ROOT},
        {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {u"HKCU", HKEY_CURRENT_USER},
        {u"HKLM", HKEY_LOCAL_MACHINE},        {u"hku", HKEY_USERS},
        {u"HKPD", HKEY_PERFORMANCE_DATA},     {u"HKDD", HKEY_DYN_DATA},
        {u"HKCC", HKEY_CURRENT_CONFIG},       {u"hkey_current_config", HKEY_CURRENT_CONFIG},
        {u"HKEY_DYN_DATA", HKEY_DYN_DATA},    {u"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {u"HKEY_USERS", HKEY_USERS},          {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {u"HKXX", nullptr},                   {u"HKCR ", nullptr},
        {u"", nullptr},
    };
    for (const RootCase& row : roots)
        EXPECT_EQ(LookupRootKey(row.name), row.key) << Utf8(row.name);

    struct TypeCase {
        const char16_t* letter;
        DWORD registryType;  // 0: none
        VARTYPE automationType;
    };
    const TypeCase types[] = {
        {u"s", REG_SZ, VT_BSTR}, {u"S", REG_SZ, VT_BSTR},   {u"d", REG_DWORD, VT_UI4},
        {u"B", REG_BINARY, VT_UI1}, {u"x", 0, 0}, {u"sz", 0, 0}, {u"", 0, 0},
    };
    for (const TypeCase& row : types) {
        const ValueTypeRow* type = LookupValueType(row.letter);
        if (row.registryType == 0) {
            EXPECT_EQ(type, nullptr) << Utf8(row.letter);
        } else {
            ASSERT_NE(type, nullptr) << Utf8(row.letter);
            EXPECT_EQ(type->registryType, row.registryType);
            EXPECT_EQ(type->automationType, row.automationType);
        }
    }

    const std::u16string digits = u"0123456789abcdefABCDEFgG -";
    const BYTE values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15, 0, 0, 0, 0};
    ASSERT_EQ(digits.size(), sizeof values);
    for (size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(HexDigitValue(digits[i]), values[i]) << i;

    EXPECT_TRUE(IsReservedKeyName(u"clsid"));
    EXPECT_TRUE(IsReservedKeyName(u"TypeLib"));
    EXPECT_FALSE(IsReservedKeyName(u"CLSIDs"));
}

}  // namespace
}  // namespace trellan::test
