// The resource reader on files written by the tests: names and types,
// languages, both ELF classes, and damaged resource files.
#include "resource_images.h"
#include "platform/platform_test_support.h"

#include <win32/resources.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace trellan::test {
namespace {

// Loads `bytes` as a data file from a scratch file; null when refused.
class LoadedImage {
public:
    explicit LoadedImage(const std::vector<BYTE>& bytes)
    {
        WriteBytes(scratch.Path("image.so"), bytes);
        module = LoadLibraryExW(Utf16(scratch.Path("image.so")).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        error = module ? 0 : GetLastError();
    }
    ~LoadedImage()
    {
        if (module)
            FreeLibrary(module);
    }
    std::string Find(LPCWSTR name, LPCWSTR type) const
    {
        HRSRC found = FindResourceW(module, name, type);
        if (!found)
            return "error " + std::to_string(GetLastError());
        auto* data = static_cast<const char*>(LoadResource(module, found));
        return std::string(data, SizeofResource(module, found));
    }
    HMODULE module = nullptr;
    DWORD error = 0;

private:
    ScratchDirectory scratch;
};

TEST(ResourceFormat, NamesTypesAndLanguagesInBothElfClasses)
{
    ResFile res;
    res.Add(u"SCRIPT", 5, 0x0409, "five")
        .Add(u"SCRIPT", u"MAIN", 0x0409, "main text")
        .Add(u"SCRIPT", u"MAIN", 0x0000, "neutral main")
        .Add(10, 1, 0x0407, "german")
        .Add(10, 1, 0x040C, "french")
        .Add(10, 2, 0x0409, "");
    // Without a neutral entry, the system language wins over file order.
    const char* savedLocale = std::getenv("LC_ALL");
    const std::string restore = savedLocale ? savedLocale : "";
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    for (bool sixtyFour : {true, false}) {
        LoadedImage image(MakeElf(sixtyFour, res.Bytes()));
        ASSERT_NE(image.module, nullptr) << image.error;
        struct Case {
            LPCWSTR name;
            LPCWSTR type;
            std::string expected;
        } cases[] = {
            {MAKEINTRESOURCEW(5), u"SCRIPT", "five"},
            {u"#5", u"script", "five"},
            {u"main", u"Script", "neutral main"},
            {u"MAIN", u"SCRIPT", "neutral main"},
            {MAKEINTRESOURCEW(1), RT_RCDATA, "french"},
            {MAKEINTRESOURCEW(2), RT_RCDATA, ""},
            {u"#10", u"SCRIPT", "error 1814"},
            {MAKEINTRESOURCEW(1), u"#11", "error 1813"},
            {u"#1", u"#10", "french"},
        };
        for (size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(image.Find(cases[i].name, cases[i].type), cases[i].expected) << sixtyFour << " case " << i;

        // With another system language, the first in file order.
        setenv("LC_ALL", "ja_JP.UTF-8", 1);
        EXPECT_EQ(image.Find(MAKEINTRESOURCEW(1), RT_RCDATA), "german");
        setenv("LC_ALL", "fr_FR.UTF-8", 1);

        HRSRC german = FindResourceExW(image.module, RT_RCDATA, MAKEINTRESOURCEW(1), 0x0407);
        ASSERT_NE(german, nullptr);
        EXPECT_EQ(std::string(static_cast<const char*>(LoadResource(image.module, german)), 6), "german");
        SetLastError(0);
        EXPECT_EQ(FindResourceExW(image.module, RT_RCDATA, MAKEINTRESOURCEW(1), 0x0409), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    }
    if (savedLocale)
        setenv("LC_ALL", restore.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(ResourceFormat, ResourceFilesThatDoNotFitAreRefused)
{
    const std::vector<BYTE> good = ResFile().Add(u"SCRIPT", 1, 0, "abcdefgh").Bytes();
    // The second entry starts at 32: data size, header size, then the type.
    auto patched = [&](size_t offset, DWORD value) {
        std::vector<BYTE> bytes = good;
        std::memcpy(bytes.data() + offset, &value, sizeof value);
        return bytes;
    };
    auto truncated = [&](size_t length) { return std::vector<BYTE>(good.begin(), good.begin() + length); };
    std::vector<BYTE> unterminatedName = good;
    // Overwrite the type text's NUL and everything after it with letters.
    for (size_t i = 32 + 8; i < 32 + 8 + 40 && i < unterminatedName.size(); ++i)
        unterminatedName[i] = 'A';
    struct Case {
        const char* what;
        std::vector<BYTE> res;
    } cases[] = {
        {"data size past the end", patched(32, 0x1000)},
        {"data size near 4 GiB", patched(32, 0xFFFFFFF0)},
        {"header size past the end", patched(36, 0x1000)},
        {"header size too small", patched(36, 8)},
        {"header size near 4 GiB", patched(36, 0xFFFFFFFC)},
        {"entry cut in its data", truncated(good.size() - 4)},
        {"entry cut in its header", truncated(40)},
        {"name without its NUL", unterminatedName},
    };
    for (const Case& row : cases) {
        LoadedImage image(MakeElf(true, row.res));
        EXPECT_EQ(image.module, nullptr) << row.what;
        EXPECT_EQ(image.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << row.what;
    }
    // Zero padding after the last entry is not an entry.
    std::vector<BYTE> padded = good;
    padded.resize(padded.size() + 12, 0);
    LoadedImage image(MakeElf(true, padded));
    ASSERT_NE(image.module, nullptr);
    EXPECT_EQ(image.Find(MAKEINTRESOURCEW(1), u"SCRIPT"), "abcdefgh");
}

TEST(ResourceFormat, ElfFilesWithBrokenSectionTablesAreRefused)
{
    const std::vector<BYTE> good = MakeElf(true, ResFile().Add(10, 1, 0, "x").Bytes());
    auto patched = [&](size_t offset, const void* value, size_t size) {
        std::vector<BYTE> bytes = good;
        std::memcpy(bytes.data() + offset, value, size);
        return bytes;
    };
    const uint64_t far = 0x7FFFFFFFFFFFFFF0ull;
    const uint16_t many = 0xFFFF, badIndex = 7, tinyEntry = 4;
    const BYTE bigEndian = 2, badClass = 9;
    // Section headers follow the content; the .rsrc header is the third.
    uint64_t table = 0;
    std::memcpy(&table, good.data() + 0x28, sizeof table);
    const size_t rsrcHeader = table + 2 * 64;
    struct Case {
        const char* what;
        std::vector<BYTE> file;
    } cases[] = {
        {"section table far away", patched(0x28, &far, 8)},
        {"too many sections", patched(0x3C, &many, 2)},
        {"names index out of range", patched(0x3E, &badIndex, 2)},
        {"section entries too small", patched(0x3A, &tinyEntry, 2)},
        {"big-endian", patched(5, &bigEndian, 1)},
        {"unknown class", patched(4, &badClass, 1)},
        {"section offset far away", patched(rsrcHeader + 0x18, &far, 8)},
        {"section size far too big", patched(rsrcHeader + 0x20, &far, 8)},
        {"no .rsrc section", MakeElf(true, ResFile().Bytes(), ".data")},
        {"no section table", std::vector<BYTE>(good.begin(), good.begin() + table)},
    };
    for (const Case& row : cases) {
        LoadedImage image(row.file);
        EXPECT_EQ(image.module, nullptr) << row.what;
        EXPECT_EQ(image.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << row.what;
    }
}

}  // namespace
}  // namespace trellan::test
