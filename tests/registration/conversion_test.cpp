// The platform helpers the interpreter relies on: CharNextW and
// VarUI4FromStr.
#include "support/text.h"
#include "winapi.h"

#include <gtest/gtest.h>

namespace trellan::test {
namespace {

TEST(CharNext, SurrogatePairIsOneStepAndTheNulStays)
{
    struct StepCase {
        std::u16string text;
        size_t step;
    };
    const StepCase cases[] = {
        {u"a", 1}, {u"\u00e9", 1}, {u"\U0001F600x", 2},
        {std::u16string(1, u'\xD83D') + u"x", 1},  // a lone high surrogate is one unit
        {std::u16string(1, u'\xDE00') + u"x", 1},  // so is a lone low surrogate
        {u"", 0},
    };
    for (const StepCase& row : cases)
        EXPECT_EQ(static_cast<size_t>(CharNextW(row.text.c_str()) - row.text.c_str()), row.step) << Utf8(row.text);
}

TEST(VarUI4FromStr, NumbersAndRefusals)
{
    struct NumberCase {
        const char16_t* text;
        HRESULT result;
        ULONG value;
    };
    const NumberCase cases[] = {
        {u"255", S_OK, 255},
        {u"0", S_OK, 0},
        {u"  42  ", S_OK, 42},
        {u"+7", S_OK, 7},
        {u"4294967295", S_OK, 4294967295u},
        {u"4294967296", DISP_E_OVERFLOW, 0},
        {u"99999999999999999999999", DISP_E_OVERFLOW, 0},
        {u"-1", DISP_E_OVERFLOW, 0},
        {u"-0", S_OK, 0},
        {u"2.5", S_OK, 2},  // half rounds to even
        {u"3.5", S_OK, 4},
        {u"2.51", S_OK, 3},
        {u"2.4999", S_OK, 2},
        {u".5", S_OK, 0},
        {u"-0.4", S_OK, 0},
        {u"&H1F", S_OK, 31},
        {u"&hffffffff", S_OK, 0xFFFFFFFFu},
        {u"&H100000000", DISP_E_OVERFLOW, 0},
        {u"&O17", S_OK, 15},
        {u"&H", DISP_E_TYPEMISMATCH, 0},
        {u"", DISP_E_TYPEMISMATCH, 0},
        {u"   ", DISP_E_TYPEMISMATCH, 0},
        {u"abc", DISP_E_TYPEMISMATCH, 0},
        {u"12abc", DISP_E_TYPEMISMATCH, 0},
        {u"0x10", DISP_E_TYPEMISMATCH, 0},
        {u"1 2", DISP_E_TYPEMISMATCH, 0},
        {u"+", DISP_E_TYPEMISMATCH, 0},
        {u".", DISP_E_TYPEMISMATCH, 0},
    };
    for (const NumberCase& row : cases) {
        ULONG value = 0xDEADBEEF;
        EXPECT_EQ(VarUI4FromStr(row.text, 0, 0, &value), row.result) << Utf8(row.text);
        if (row.result == S_OK) {
            EXPECT_EQ(value, row.value) << Utf8(row.text);
        } else {
            EXPECT_EQ(value, 0xDEADBEEFu) << "a refused text leaves the output alone: " << Utf8(row.text);
        }
    }
    ULONG value = 0;
    EXPECT_EQ(VarUI4FromStr(nullptr, 0, 0, &value), E_INVALIDARG);
    EXPECT_EQ(VarUI4FromStr(u"1", 0, 0, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace trellan::test
