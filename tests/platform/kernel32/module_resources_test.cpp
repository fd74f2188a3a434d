// The filter's compiled resources read back through a data-file load of a
// module that carries them as its ".rsrc" section.
#include "platform/platform_test_support.h"

#include <win32/resources.h>

#include <cstring>

namespace trellan::test {
namespace {

std::u16string ModulePath() { return Utf16(TYPELIB_TEST_MODULE); }

// A data-file load that the test owns.
class DataFile {
public:
    explicit DataFile(const std::u16string& path) : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
        error = module ? 0 : GetLastError();
    }
    ~DataFile()
    {
        if (module)
            FreeLibrary(module);
    }
    HMODULE module;
    DWORD error;
};

std::string ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return "<not found " + std::to_string(GetLastError()) + ">";
    auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    DWORD size = SizeofResource(module, found);
    return data ? std::string(data, size) : "<no data>";
}

std::string FileText(const std::string& path)
{
    std::vector<BYTE> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ModuleResources, DataFileLoadReadsTheFourResources)
{
    DataFile file(ModulePath());
    ASSERT_NE(file.module, nullptr) << file.error;
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(file.module) & 1, 1u) << "data-file handles carry the low bit";

    // The registry script exactly as written, without a terminating NUL.
    const std::string script = FileText(TYPELIB_TEST_REGSCRIPT);
    ASSERT_FALSE(script.empty());
    struct NameCase {
        LPCWSTR name;
        LPCWSTR type;
    } scriptNames[] = {
        {MAKEINTRESOURCEW(101), u"REGISTRY"},
        {MAKEINTRESOURCEW(101), u"registry"},
        {u"#101", u"Registry"},
    };
    for (size_t i = 0; i < std::size(scriptNames); ++i)
        EXPECT_EQ(ResourceBytes(file.module, scriptNames[i].name, scriptNames[i].type), script) << "case " << i;

    EXPECT_EQ(ResourceBytes(file.module, MAKEINTRESOURCEW(1), u"TYPELIB"), FileText(TYPELIB_TEST_TLB));

    // String 100 lives in block 100 / 16 + 1 = 7, slot 100 % 16 = 4: each
    // slot is a 16-bit length and that many UTF-16 units.
    std::string block = ResourceBytes(file.module, MAKEINTRESOURCEW(7), RT_STRING);
    std::u16string units(reinterpret_cast<const char16_t*>(block.data()), block.size() / 2);
    size_t position = 0;
    for (int slot = 0; slot < 4 && position < units.size(); ++slot)
        position += 1 + units[position];
    ASSERT_LT(position, units.size());
    EXPECT_EQ(Utf8(units.substr(position + 1, units[position])), "Trellan");

    // The version block: VS_VERSION_INFO, then the fixed file information
    // with file version 1.0.0.75.
    std::string version = ResourceBytes(file.module, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_GT(version.size(), 6u + 32u + 52u);
    std::u16string key(reinterpret_cast<const char16_t*>(version.data() + 6), 15);
    EXPECT_EQ(Utf8(key), "VS_VERSION_INFO");
    DWORD fixed[4];
    std::memcpy(fixed, version.data() + 40, sizeof fixed);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00010000u);
    EXPECT_EQ(fixed[3], 0x0000004Bu);
}

TEST(ModuleResources, MissingTypesAndNamesNameTheirError)
{
    DataFile file(ModulePath());
    ASSERT_NE(file.module, nullptr);
    struct Case {
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;
    } cases[] = {
        {MAKEINTRESOURCEW(101), u"NOSUCHTYPE", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(23), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {MAKEINTRESOURCEW(102), u"REGISTRY", ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"SCRIPT", u"REGISTRY", ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(2), u"TYPELIB", ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(6), RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const Case& row : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResourceW(file.module, row.name, row.type), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST(ModuleResources, DataFileHandlesAreFreedOnceAndDoNotRunTheModule)
{
    HMODULE first = LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE second = LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    // A data file is not a loaded module: it has no exports to call.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(first, "TypelibTestModuleMarker"), nullptr);

    // A resource handle belongs to its own load.
    HRSRC script = FindResourceW(first, MAKEINTRESOURCEW(101), u"REGISTRY");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(LoadResource(second, script), nullptr);
    EXPECT_EQ(SizeofResource(second, script), 0u);
    EXPECT_EQ(LoadResource(first, nullptr), nullptr);

    EXPECT_TRUE(FreeLibrary(first));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(FindResourceW(first, MAKEINTRESOURCEW(101), u"REGISTRY"), nullptr);
    // The other load is untouched.
    EXPECT_NE(FindResourceW(second, MAKEINTRESOURCEW(101), u"REGISTRY"), nullptr);
    EXPECT_TRUE(FreeLibrary(second));
}

TEST(ModuleResources, OtherFlagsLoadTheModuleAsCodeWithItsResources)
{
    HMODULE module = LoadLibraryExW(ModulePath().c_str(), nullptr, 0);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(module) & 1, 0u);
    using Marker = int (*)();
    auto marker = reinterpret_cast<Marker>(reinterpret_cast<void*>(GetProcAddress(module, "TypelibTestModuleMarker")));
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker(), 75);
    // A module loaded as code has its resources too, read from its file.
    EXPECT_EQ(ResourceBytes(module, MAKEINTRESOURCEW(101), u"REGISTRY"), FileText(TYPELIB_TEST_REGSCRIPT));
    EXPECT_EQ(ResourceBytes(module, MAKEINTRESOURCEW(2), u"TYPELIB"), "<not found 1814>");
    EXPECT_TRUE(FreeLibrary(module));

    // The test program has no resource section; an unknown handle is no module.
    EXPECT_EQ(ResourceBytes(nullptr, MAKEINTRESOURCEW(1), RT_VERSION), "<not found 1812>");
    int local = 0;
    EXPECT_EQ(ResourceBytes(reinterpret_cast<HMODULE>(&local), MAKEINTRESOURCEW(1), RT_VERSION), "<not found 126>");

    SetLastError(0);
    EXPECT_EQ(LoadLibraryExW(ModulePath().c_str(), reinterpret_cast<HANDLE>(1), LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ModuleResources, FilesWithoutAResourceSectionAreRefused)
{
    ScratchDirectory scratch;
    WriteBytes(scratch.Path("text.dll"), {'n', 'o', 't', ' ', 'E', 'L', 'F'});
    WriteBytes(scratch.Path("empty.dll"), {});
    struct Case {
        std::string path;
        DWORD error;
    } cases[] = {
        {TYPELIB_TEST_BARE_MODULE, ERROR_BAD_EXE_FORMAT},
        {scratch.Path("text.dll"), ERROR_BAD_EXE_FORMAT},
        {scratch.Path("empty.dll"), ERROR_BAD_EXE_FORMAT},
        {scratch.Path("missing.dll"), ERROR_FILE_NOT_FOUND},
        {scratch.Path("no/such/dir.dll"), ERROR_PATH_NOT_FOUND},
    };
    for (const Case& row : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryExW(Utf16(row.path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
}

// The module file cut short at many lengths: every load either fails with
// ERROR_BAD_EXE_FORMAT or (past the section headers) reads the resources.
TEST(ModuleResources, TruncatedModulesAreRefusedSafely)
{
    ScratchDirectory scratch;
    const std::vector<BYTE> whole = ReadBytes(TYPELIB_TEST_MODULE);
    ASSERT_GT(whole.size(), 1000u);
    const std::u16string path = Utf16(scratch.Path("cut.so"));
    int refused = 0;
    for (size_t length = 1; length < whole.size(); length += 1 + length / 16) {
        WriteBytes(scratch.Path("cut.so"), std::vector<BYTE>(whole.begin(), whole.begin() + length));
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << length;
            ++refused;
            continue;
        }
        FindResourceW(module, MAKEINTRESOURCEW(101), u"REGISTRY");
        FreeLibrary(module);
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace trellan::test
