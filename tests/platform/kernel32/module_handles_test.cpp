// The platform's module functions over the dynamic loader, with the
// module and the test program itself.
#include "support/loaded_module.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace trellan::test {
namespace {

namespace fs = std::filesystem;

std::u16string FileNameOf(HMODULE module)
{
    WCHAR buffer[4096];
    DWORD length = GetModuleFileNameW(module, buffer, static_cast<DWORD>(std::size(buffer)));
    return std::u16string(buffer, length);
}

// Changes the current directory for as long as it lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& directory) : previous(fs::current_path()) { fs::current_path(directory); }
    ~WorkingDirectory() { fs::current_path(previous); }

private:
    fs::path previous;
};

TEST(ModuleHandles, ProcessImage)
{
    HMODULE image = GetModuleHandleW(nullptr);
    ASSERT_NE(image, nullptr);
    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&FileNameOf), &fromAddress));
    EXPECT_EQ(fromAddress, image);

    std::u16string expected = Utf16(fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(FileNameOf(nullptr), expected);
    EXPECT_EQ(FileNameOf(image), expected);
    std::u16string baseName = Utf16(fs::path(Utf8(expected)).filename().string());
    EXPECT_EQ(GetModuleHandleW(baseName.c_str()), image);
}

TEST(ModuleHandles, OneHandleForEveryRoute)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    HMODULE handle = module.Handle();

    // By path, by file name, and by an address inside it (as the module's
    // entry glue finds its own instance handle).
    EXPECT_EQ(GetModuleHandleW(ModulePath().c_str()), handle);
    EXPECT_EQ(GetModuleHandleW(u"trellan.so"), handle);
    auto exported = GetProcAddress(handle, "DllGetClassObject");
    ASSERT_NE(exported, nullptr);
    HMODULE owner = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(exported), &owner));
    EXPECT_EQ(owner, handle);
    EXPECT_TRUE(DisableThreadLibraryCalls(handle));
    EXPECT_EQ(FileNameOf(handle), ModulePath());
}

TEST(ModuleHandles, RelativeLoadGivesAnAbsolutePath)
{
    fs::path modulePath = Utf8(ModulePath());
    HMODULE handle = nullptr;
    {
        WorkingDirectory inParent(modulePath.parent_path().parent_path());
        std::u16string relative =
            Utf16((fs::path(modulePath.parent_path().filename()) / modulePath.filename()).string());
        handle = LoadLibraryW(relative.c_str());
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(FileNameOf(handle), ModulePath());
    }
    // Still right after the current directory changed back.
    EXPECT_EQ(FileNameOf(handle), ModulePath());
    {
        WorkingDirectory inModuleDirectory(modulePath.parent_path());
        HMODULE again = LoadLibraryW(u"./trellan.so");
        EXPECT_EQ(again, handle);
        EXPECT_TRUE(FreeLibrary(again));
    }
    EXPECT_TRUE(FreeLibrary(handle));
    EXPECT_FALSE(ModuleIsLoaded());
}

TEST(ModuleHandles, LoadsAndFreesAreCounted)
{
    HMODULE first = LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(first, nullptr);
    HMODULE second = LoadLibraryW(ModulePath().c_str());
    EXPECT_EQ(second, first);
    // GetModuleHandleExW without UNCHANGED_REFCOUNT adds a load too.
    HMODULE third = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(0, ModulePath().c_str(), &third));
    EXPECT_EQ(third, first);

    for (int left = 2; left >= 0; --left) {
        EXPECT_TRUE(FreeLibrary(first));
        EXPECT_EQ(ModuleIsLoaded(), left > 0) << left << " loads left";
    }
    EXPECT_FALSE(FreeLibrary(first)) << "no longer a module";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ModuleHandles, Exports)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    struct Case {
        const char* name;
        bool found;
    };
    const Case cases[] = {
        {"DllGetClassObject", true},
        {"DllCanUnloadNow", true},
        {"dllgetclassobject", false},
        {"HeapAlloc", false},        // in a module it depends on, not its own
        {"LoadLibraryW", false},
        {"_ZN7trellan12serverModuleE", false},  // internal names stay inside
        {"", false},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        FARPROC address = GetProcAddress(module.Handle(), c.name);
        EXPECT_EQ(address != nullptr, c.found) << c.name;
        if (!c.found) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << c.name;
        }
    }
    EXPECT_EQ(GetProcAddress(module.Handle(), reinterpret_cast<LPCSTR>(1)), nullptr) << "no exports by ordinal";
}

TEST(ModuleHandles, Failures)
{
    fs::path directory = fs::temp_directory_path() / ("trellan-modules-" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::path notAModule = directory / "not-a-module.so";
    std::ofstream(notAModule) << "plain text, not a shared object\n";

    struct LoadCase {
        const char* what;
        std::u16string path;
        DWORD error;
    };
    const LoadCase loads[] = {
        {"missing file", Utf16((directory / "missing.so").string()), ERROR_MOD_NOT_FOUND},
        {"missing bare name", u"no-such-module-anywhere.so", ERROR_MOD_NOT_FOUND},
        {"not a module", Utf16(notAModule.string()), ERROR_BAD_EXE_FORMAT},
        {"a directory", Utf16(directory.string()), ERROR_BAD_EXE_FORMAT},
        {"empty name", u"", ERROR_MOD_NOT_FOUND},
        {"lone surrogate", std::u16string(u"/tmp/") + char16_t(0xD800) + u".so", ERROR_MOD_NOT_FOUND},
        {"a system DLL's name outside the system folder", Utf16((directory / "wmvcore.dll").string()),
         ERROR_MOD_NOT_FOUND},
    };
    for (const LoadCase& c : loads) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(c.path.c_str()), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Handles that name no module: heap and stack addresses, and an address
    // inside a module that is not where it starts.
    int onStack = 0;
    std::string onHeap = "heap";
    HMODULE notHandles[] = {reinterpret_cast<HMODULE>(&onStack), reinterpret_cast<HMODULE>(onHeap.data()),
                            reinterpret_cast<HMODULE>(reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr)) + 16)};
    for (HMODULE handle : notHandles) {
        WCHAR buffer[16] = u"unchanged";
        EXPECT_FALSE(FreeLibrary(handle));
        EXPECT_EQ(GetProcAddress(handle, "DllGetClassObject"), nullptr);
        EXPECT_EQ(GetModuleFileNameW(handle, buffer, 16), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_FALSE(DisableThreadLibraryCalls(handle));
    }
    EXPECT_EQ(GetModuleHandleW(u"no-such-module.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE out = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    nullptr, &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetModuleHandleExW(0, nullptr, nullptr));

    fs::remove_all(directory);
}

// The media-format runtime as the filter loads it: by its name in the
// system folder, which is the stand-in library's folder, with either
// separator.
TEST(ModuleHandles, SystemFolder)
{
    WCHAR folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(GetSystemDirectoryW(folder, length), length + 1) << "too small: the size needed, with the NUL";
    EXPECT_EQ(GetSystemDirectoryW(folder, MAX_PATH), length);
    const std::u16string directory(folder, length);
    EXPECT_EQ(fs::path(Utf8(directory)), fs::path(Utf8(FileNameOf(GetModuleHandleW(u"ole32.dll")))).parent_path());

    for (const char16_t* name : {u"\\wmvcore.dll", u"/WMVCORE.DLL"}) {
        HMODULE runtime = LoadLibraryW((directory + name).c_str());
        ASSERT_NE(runtime, nullptr) << Utf8(name);
        EXPECT_EQ(runtime, GetModuleHandleW(u"wmvcore.dll"));
        EXPECT_NE(GetProcAddress(runtime, "WMCreateEditor"), nullptr);
        EXPECT_TRUE(FreeLibrary(runtime));
    }
}

TEST(ModuleHandles, FileNameBufferSizes)
{
    std::u16string full = FileNameOf(nullptr);
    ASSERT_GT(full.size(), 4u);
    const DWORD sizes[] = {1, 5, static_cast<DWORD>(full.size()), static_cast<DWORD>(full.size() + 1),
                           static_cast<DWORD>(full.size() + 10)};
    for (DWORD size : sizes) {
        std::u16string buffer(size + 4, u'#');
        SetLastError(0);
        DWORD written = GetModuleFileNameW(nullptr, buffer.data(), size);
        bool fits = size > full.size();
        EXPECT_EQ(written, fits ? full.size() : size) << size;
        EXPECT_EQ(GetLastError(), fits ? 0u : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
        size_t kept = fits ? full.size() : size - 1;
        EXPECT_EQ(buffer.substr(0, kept), full.substr(0, kept)) << size;
        EXPECT_EQ(buffer[kept], u'\0') << "always terminated, size " << size;
        EXPECT_EQ(buffer[size], u'#') << "nothing written past the buffer, size " << size;
    }
    WCHAR nothing[1] = {u'#'};
    EXPECT_EQ(GetModuleFileNameW(nullptr, nothing, 0), 0u);
    EXPECT_EQ(nothing[0], u'#');
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
}  // namespace trellan::test
