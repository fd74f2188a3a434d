// BSTRs: the 32-bit byte length before the text, the NUL after it.
#include "platform/platform_test_support.h"

#include <win32/seams.h>

#include <cstring>

namespace trellan::test {
namespace {

DWORD Prefix(BSTR text)
{
    DWORD length = 0;
    std::memcpy(&length, reinterpret_cast<BYTE*>(text) - sizeof(DWORD), sizeof length);
    return length;
}

TEST(Bstr, LengthPrefixAndTerminator)
{
    struct Case {
        std::u16string text;
        UINT length;  // units taken by SysAllocStringLen
    } cases[] = {
        {u"", 0},
        {u"Trellan", 7},
        {u"Trel", 4},
        {std::u16string(u"a\0b", 3), 3},
        {std::u16string(300, u'z'), 300},
    };
    for (const Case& row : cases) {
        OwnedBstr counted(SysAllocStringLen(row.text.data(), row.length));
        ASSERT_TRUE(counted);
        EXPECT_EQ(Prefix(counted.get()), row.length * 2);
        EXPECT_EQ(SysStringLen(counted.get()), row.length);
        EXPECT_EQ(SysStringByteLen(counted.get()), row.length * 2);
        EXPECT_EQ(std::u16string(counted.get(), row.length), row.text.substr(0, row.length));
        EXPECT_EQ(counted.get()[row.length], 0);

        // SysAllocString stops at the first NUL.
        OwnedBstr plain(SysAllocString(row.text.c_str()));
        ASSERT_TRUE(plain);
        const size_t untilNul = std::u16string(row.text.c_str()).size();
        EXPECT_EQ(SysStringLen(plain.get()), untilNul);
        EXPECT_EQ(Prefix(plain.get()), untilNul * 2);
    }
}

TEST(Bstr, NullsZerosOddBytesAndFailedAllocations)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    OwnedBstr zeros(SysAllocStringLen(nullptr, 5));
    ASSERT_TRUE(zeros);
    EXPECT_EQ(SysStringLen(zeros.get()), 5u);
    for (int i = 0; i <= 5; ++i)
        EXPECT_EQ(zeros.get()[i], 0);

    OwnedBstr odd(SysAllocStringByteLen("abc", 3));
    ASSERT_TRUE(odd);
    EXPECT_EQ(SysStringByteLen(odd.get()), 3u);
    EXPECT_EQ(SysStringLen(odd.get()), 1u);
    EXPECT_EQ(std::memcmp(odd.get(), "abc\0\0", 5), 0);

    EXPECT_EQ(SysAllocStringLen(u"x", 0x80000000u), nullptr);

    PlatformSeam_FailAllocations(0, 1);
    EXPECT_EQ(SysAllocString(u"lost"), nullptr);
    PlatformSeam_FailAllocations(0, 0);
    OwnedBstr after(SysAllocString(u"kept"));
    EXPECT_TRUE(after);
}

}  // namespace
}  // namespace trellan::test
