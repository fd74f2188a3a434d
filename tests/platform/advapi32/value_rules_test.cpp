// The registry's rules for values: types, the default value, names without
// regard to case, and the platform's buffer rules.
#include "support/registry_fixture.h"

#include <vector>

namespace trellan::test {
namespace {

class ValueRulesTest : public MemoryRegistryTest {
protected:
    void SetUp() override
    {
        MemoryRegistryTest::SetUp();
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Values", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        key.Close();
        MemoryRegistryTest::TearDown();
    }
    LONG Set(const char16_t* name, DWORD type, const std::vector<BYTE>& data)
    {
        return RegSetValueExW(key.Get(), name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }
    Key key;
};

struct TypedValue {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
};

TEST_F(ValueRulesTest, EveryTypeReadsBackAsWritten)
{
    const TypedValue cases[] = {
        {u"Text", REG_SZ, RegistryStringBytes(u"hello \u00e9\U0001F600")},
        {u"Expand", REG_EXPAND_SZ, RegistryStringBytes(u"%PATH%\\bin")},
        {u"Multi", REG_MULTI_SZ, RegistryStringBytes(std::u16string(u"one\0two\0", 8))},
        {u"Number", REG_DWORD, {0x2A, 0, 0, 0}},
        {u"Big", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"Blob", REG_BINARY, {0x00, 0xFF, 0x0A, 0x1B}},
        {u"EmptyBlob", REG_BINARY, {}},
        {u"Nothing", REG_NONE, {}},
        {u"", REG_SZ, RegistryStringBytes(u"default")},
    };
    for (const TypedValue& row : cases)
        ASSERT_EQ(Set(row.name, row.type, row.data), ERROR_SUCCESS);
    for (const TypedValue& row : cases) {
        DWORD type = 0;
        std::vector<BYTE> data(64);
        DWORD size = static_cast<DWORD>(data.size());
        ASSERT_EQ(RegQueryValueExW(key.Get(), row.name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
        data.resize(size);
        EXPECT_EQ(type, row.type) << Utf8(row.name);
        EXPECT_EQ(data, row.data) << Utf8(row.name);
    }
}

TEST_F(ValueRulesTest, NamesIgnoreCaseAndKeepTheirPlaceAndSpelling)
{
    ASSERT_EQ(Set(u"First", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"Second", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"FIRST", REG_DWORD, {3, 0, 0, 0}), ERROR_SUCCESS);  // overwrites "First"
    // A null name and "" both mean the default value.
    ASSERT_EQ(Set(nullptr, REG_SZ, RegistryStringBytes(u"d")), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);

    struct Expected {
        const char16_t* name;
        BYTE first;
    };
    const Expected order[] = {{u"FIRST", 3}, {u"Second", 2}, {u"", 'd'}};
    for (DWORD index = 0; index < 3; ++index) {
        WCHAR name[32];
        DWORD units = 32;
        BYTE data[8] = {};
        DWORD bytes = sizeof data;
        ASSERT_EQ(RegEnumValueW(key.Get(), index, name, &units, nullptr, nullptr, data, &bytes), ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(name, units), order[index].name);
        EXPECT_EQ(data[0], order[index].first);
    }
    WCHAR name[32];
    DWORD units = 32;
    EXPECT_EQ(RegEnumValueW(key.Get(), 3, name, &units, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    EXPECT_EQ(RegDeleteValueW(key.Get(), u"second"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.Get(), u"Second"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Missing", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(ValueRulesTest, BuffersFollowThePlatformsRules)
{
    ASSERT_EQ(Set(u"Text", REG_SZ, RegistryStringBytes(u"abcdef")), ERROR_SUCCESS);  // 14 bytes
    ASSERT_EQ(RegCreateKeyExW(key.Get(), u"Sub", 0, nullptr, 0, KEY_READ, nullptr, Key().Receive(), nullptr),
              ERROR_SUCCESS);

    BYTE data[32];
    WCHAR name[32];
    struct BufferCase {
        const char* what;
        DWORD nameUnits;
        DWORD dataBytes;
        bool withData;
        LONG expected;
        DWORD sizeAfter;  // bytes reported for the data
    };
    const BufferCase queries[] = {
        {"size only", 0, 0, false, ERROR_SUCCESS, 14},
        {"data too small", 0, 13, true, ERROR_MORE_DATA, 14},
        {"data exactly fits", 0, 14, true, ERROR_SUCCESS, 14},
        {"data with room to spare", 0, 32, true, ERROR_SUCCESS, 14},
    };
    for (const BufferCase& row : queries) {
        DWORD bytes = row.dataBytes;
        EXPECT_EQ(RegQueryValueExW(key.Get(), u"Text", nullptr, nullptr, row.withData ? data : nullptr, &bytes),
                  row.expected)
            << row.what;
        EXPECT_EQ(bytes, row.sizeAfter) << row.what;
    }
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Text", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);

    const BufferCase enumerations[] = {
        {"name too small for its NUL", 4, 32, true, ERROR_MORE_DATA, 32},
        {"name exactly fits", 5, 32, true, ERROR_SUCCESS, 14},
        {"data too small", 5, 2, true, ERROR_MORE_DATA, 14},
        {"no data wanted", 5, 0, false, ERROR_SUCCESS, 14},
    };
    for (const BufferCase& row : enumerations) {
        DWORD units = row.nameUnits;
        DWORD bytes = row.dataBytes;
        EXPECT_EQ(RegEnumValueW(key.Get(), 0, name, &units, nullptr, nullptr, row.withData ? data : nullptr, &bytes),
                  row.expected)
            << row.what;
        EXPECT_EQ(bytes, row.sizeAfter) << row.what;
        if (row.expected == ERROR_SUCCESS) {
            EXPECT_EQ(units, 4u) << row.what;
        }
    }

    DWORD units = 3;
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 0, name, &units, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    units = 4;
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 0, name, &units, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(units, 3u);
    units = 4;
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 1, name, &units, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(ValueRulesTest, SubkeysEnumerateInNameOrderAndTheKeyReportsItsCounts)
{
    for (const char16_t* name : {u"delta", u"Alpha", u"charlie", u"Bravo"})
        ASSERT_EQ(RegCreateKeyExW(key.Get(), name, 0, nullptr, 0, KEY_READ, nullptr, Key().Receive(), nullptr),
                  ERROR_SUCCESS);
    ASSERT_EQ(Set(u"LongerName", REG_BINARY, std::vector<BYTE>(100, 7)), ERROR_SUCCESS);
    ASSERT_EQ(Set(u"x", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);

    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        WCHAR name[32];
        DWORD units = 32;
        LONG result = RegEnumKeyExW(key.Get(), index, name, &units, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        names.emplace_back(name, units);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"Bravo", u"charlie", u"delta"}));

    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestValueName = 0, largestData = 0;
    FILETIME written{};
    ASSERT_EQ(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                               &longestValueName, &largestData, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 4u);
    EXPECT_EQ(longestSubkey, 7u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestValueName, 10u);
    EXPECT_EQ(largestData, 100u);
    EXPECT_NE(written.dwHighDateTime, 0u);
}

}  // namespace
}  // namespace trellan::test
