// Damaged type libraries: cut short, bytes flipped, offsets pointing out of
// their tables. Each is refused with a type-library error or read as far as
// it is whole, never a crash; run under the address sanitizer too.
#include "platform/platform_test_support.h"

#include <cstring>
#include <random>

namespace trellan::test {
namespace {

bool IsRefusal(HRESULT result)
{
    return result == TYPE_E_INVDATAREAD || result == TYPE_E_UNSUPFORMAT || result == TYPE_E_CANTLOADLIBRARY;
}

// Reads everything a reader can ask of the library.
void WalkLibrary(ITypeLib* library)
{
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes)))
        library->ReleaseTLibAttr(attributes);
    for (INT index = -1; index < static_cast<INT>(library->GetTypeInfoCount()); ++index) {
        BSTR name = nullptr, help = nullptr, file = nullptr;
        if (SUCCEEDED(library->GetDocumentation(index, &name, &help, nullptr, &file)))
            SysFreeString(name), SysFreeString(help), SysFreeString(file);
        if (index < 0)
            continue;
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(index, &info)))
            continue;
        TYPEATTR* attr = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&attr))) {
            for (UINT impl = 0; impl < attr->cImplTypes; ++impl) {
                HREFTYPE reference = 0;
                ITypeInfo* target = nullptr;
                if (SUCCEEDED(info->GetRefTypeOfImplType(impl, &reference)) &&
                    SUCCEEDED(info->GetRefTypeInfo(reference, &target)))
                    target->Release();
            }
            info->ReleaseTypeAttr(attr);
        }
        info->Release();
    }
}

HRESULT LoadBytes(const ScratchDirectory& scratch, const std::vector<BYTE>& bytes)
{
    WriteBytes(scratch.Path("damaged.tlb"), bytes);
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLib(Utf16(scratch.Path("damaged.tlb")).c_str(), &library);
    if (SUCCEEDED(result)) {
        EXPECT_NE(library, nullptr);
        WalkLibrary(library);
        library->Release();
    } else {
        EXPECT_EQ(library, nullptr);
    }
    return result;
}

DWORD Field(const std::vector<BYTE>& bytes, size_t offset)
{
    DWORD value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

std::vector<BYTE> WithField(std::vector<BYTE> bytes, size_t offset, DWORD value)
{
    std::memcpy(bytes.data() + offset, &value, 4);
    return bytes;
}

TEST(TypeLibraryDamage, EveryTruncationIsRefused)
{
    ScratchDirectory scratch;
    const std::vector<BYTE> whole = ReadBytes(TYPELIB_TEST_TLB);
    ASSERT_GT(whole.size(), 0x200u);
    for (size_t length = 0; length < whole.size(); ++length) {
        HRESULT result = LoadBytes(scratch, std::vector<BYTE>(whole.begin(), whole.begin() + length));
        EXPECT_TRUE(IsRefusal(result)) << "length " << length << " gave 0x" << std::hex << result;
    }
    EXPECT_EQ(LoadBytes(scratch, whole), S_OK);
}

TEST(TypeLibraryDamage, FlippedBytesInTheHeaderAndDirectory)
{
    ScratchDirectory scratch;
    const std::vector<BYTE> whole = ReadBytes(TYPELIB_TEST_TLB);
    // Header, type-info offsets and the table directory: everything before
    // the first table.
    const size_t front = Field(whole, 0x5C);
    ASSERT_GT(front, 0x54u);
    ASSERT_LT(front, whole.size());
    std::mt19937 random(20261207);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<BYTE> bytes = whole;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[random() % front] ^= static_cast<BYTE>(1u << (random() % 8));
        HRESULT result = LoadBytes(scratch, bytes);
        EXPECT_TRUE(SUCCEEDED(result) || IsRefusal(result)) << std::hex << result;
        refused += FAILED(result);
    }
    EXPECT_GT(refused, 0);
    // Every byte of the tables flipped in turn: whatever loads is walked.
    for (size_t offset = front; offset < whole.size(); ++offset) {
        std::vector<BYTE> bytes = whole;
        bytes[offset] ^= 0xFF;
        HRESULT result = LoadBytes(scratch, bytes);
        EXPECT_TRUE(SUCCEEDED(result) || IsRefusal(result)) << offset;
    }
}

TEST(TypeLibraryDamage, OffsetsPointingOutsideTheirTables)
{
    ScratchDirectory scratch;
    const std::vector<BYTE> whole = ReadBytes(TYPELIB_TEST_TLB);
    const size_t directory = 0x54 + 4 * Field(whole, 0x20);
    const size_t typeInfos = Field(whole, directory);  // the first table's file offset
    const size_t firstType = typeInfos + Field(whole, 0x54);
    const size_t secondType = typeInfos + Field(whole, 0x58);
    const DWORD far = 0x7FFFFFF0;
    struct Case {
        const char* what;
        size_t offset;
        DWORD value;
        HRESULT expected;
    } cases[] = {
        {"magic", 0x00, 0x5446534E, TYPE_E_CANTLOADLIBRARY},
        {"format version", 0x04, 0x00020002, TYPE_E_UNSUPFORMAT},
        {"library GUID", 0x08, far, TYPE_E_INVDATAREAD},
        {"library GUID near a table's end", 0x08, Field(whole, directory + 5 * 16 + 4) - 8, TYPE_E_INVDATAREAD},
        {"type count", 0x20, 0x40000000, TYPE_E_INVDATAREAD},
        {"help string", 0x24, far, TYPE_E_INVDATAREAD},
        {"name", 0x38, far, TYPE_E_INVDATAREAD},
        {"name at the very end", 0x38, 0xFFFFFFF8, TYPE_E_INVDATAREAD},
        {"help file", 0x3C, 0xFFFFFFFE, TYPE_E_INVDATAREAD},
        {"type-info offset", 0x54, far, TYPE_E_INVDATAREAD},
        {"type-info offset off by a little", 0x58, Field(whole, directory + 4) - 50, TYPE_E_INVDATAREAD},
        {"type-info table offset", directory, far, TYPE_E_INVDATAREAD},
        {"type-info table length", directory + 4, far, TYPE_E_INVDATAREAD},
        {"name table length", directory + 7 * 16 + 4, 4, TYPE_E_INVDATAREAD},
        {"string table absent", directory + 8 * 16, 0xFFFFFFFF, TYPE_E_INVDATAREAD},
        {"reference table absent", directory + 3 * 16, 0xFFFFFFFF, TYPE_E_INVDATAREAD},
        {"import table absent", directory + 1 * 16, 0xFFFFFFFF, TYPE_E_INVDATAREAD},
        {"import files absent", directory + 2 * 16, 0xFFFFFFFF, TYPE_E_INVDATAREAD},
        {"first type's kind", firstType, 0x2229, TYPE_E_INVDATAREAD},
        {"first type's GUID", firstType + 11 * 4, far, TYPE_E_INVDATAREAD},
        {"first type's name", firstType + 13 * 4, far, TYPE_E_INVDATAREAD},
        {"first type's help string", firstType + 15 * 4, far, TYPE_E_INVDATAREAD},
        {"first type's interface list", firstType + 21 * 4, far, TYPE_E_INVDATAREAD},
        {"first type's interface count", firstType + 19 * 4, 0x0000FFFF, TYPE_E_INVDATAREAD},
        {"second type's base", secondType + 21 * 4, 0x7FFFFFF1, TYPE_E_INVDATAREAD},
        {"second type's base is no type", secondType + 21 * 4, 0x00000008, TYPE_E_INVDATAREAD},
    };
    for (const Case& row : cases) {
        ASSERT_LT(row.offset + 4, whole.size()) << row.what;
        EXPECT_EQ(LoadBytes(scratch, WithField(whole, row.offset, row.value)), row.expected) << row.what;
    }
}

}  // namespace
}  // namespace trellan::test
