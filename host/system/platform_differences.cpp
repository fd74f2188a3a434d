// The platform-dependent corners of the CLI: how the command line arrives,
// how the registry file is chosen, and what the module file is called.
#include "system/platform_differences.h"

#include "text/text_conversion.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#else
#include <win32/registry_control.h>
#endif

namespace host {

#ifdef _WIN32

const char16_t* const defaultModuleName = u"trellan.dll";
const char16_t pathSeparator = u'\\';

Arguments CommandLineArguments(int, char**)
{
    Arguments args;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; list && i < count; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(list[i]));
    LocalFree(list);
    return args;
}

bool UseRegistryFile(const std::u16string&)
{
    return false;  // Windows has one registry
}

const char16_t* const shippedModuleFolders[] = {u"", nullptr};

bool RegistryIsDefault()
{
    return false;
}

bool UseMemoryRegistry()
{
    return false;
}

std::string RegisterCommandFor(const std::string&)
{
    return "trellan register";  // from a command prompt run as administrator
}

std::u16string PathFromListBytes(std::string_view bytes)
{
    return FromUtf8(bytes);
}

LONG OpenRegistry(bool* writable, std::string* path)
{
    *writable = true;
    *path = "the registry";
    return ERROR_SUCCESS;
}

LONG BeginRegistryWrite()
{
    return ERROR_SUCCESS;
}

LONG EndRegistryWrite(bool)
{
    return ERROR_SUCCESS;
}

static bool BinaryStandardInput()
{
    return _setmode(_fileno(stdin), _O_BINARY) != -1;
}

#else

const char16_t* const defaultModuleName = u"trellan.so";
const char16_t pathSeparator = u'/';

// The file system's bytes, which need not be UTF-8: CP_ACP keeps every byte
// (see the stand-in's text conversion).
std::u16string PathFromListBytes(std::string_view bytes)
{
    return FromCodePage(CP_ACP, bytes);
}

Arguments CommandLineArguments(int argc, char** argv)
{
    Arguments args;
    for (int i = 1; i < argc; ++i)
        args.push_back(PathFromListBytes(argv[i]));
    return args;
}

bool UseRegistryFile(const std::u16string& path)
{
    return setenv("TRELLAN_REGISTRY", ToCodePage(CP_ACP, path).c_str(), 1) == 0;
}

const char16_t* const shippedModuleFolders[] = {u"../lib/trellan/", u"", nullptr};

bool RegistryIsDefault()
{
    const char* named = std::getenv("TRELLAN_REGISTRY");
    return !named || !*named;
}

bool UseMemoryRegistry()
{
    if (setenv("TRELLAN_REGISTRY", ":memory:", 1) != 0)
        return false;
    PlatformRegistry_Reset();  // the next registry call opens the new one
    return true;
}

std::string RegisterCommandFor(const std::string& path)
{
    return "trellan --registry " + path + " register";
}

LONG OpenRegistry(bool* writable, std::string* path)
{
    BOOL canWrite = FALSE;
    LONG result = PlatformRegistry_Open(&canWrite);
    *writable = canWrite != FALSE;
    *path = PlatformRegistry_Path();
    return result;
}

LONG BeginRegistryWrite()
{
    return PlatformRegistry_BeginWrite();
}

LONG EndRegistryWrite(bool commit)
{
    return PlatformRegistry_EndWrite(commit);
}

static bool BinaryStandardInput()
{
    return true;
}

#endif

bool IsTerminal(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool ReadStandardInput(char* buffer, size_t size, size_t* got)
{
    static const bool binary = BinaryStandardInput();
    if (!binary)
        return false;
    *got = std::fread(buffer, 1, size, stdin);
    return *got > 0 || !std::ferror(stdin);
}

std::u16string BesideProgram(const std::u16string& name)
{
    WCHAR path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    std::u16string program(reinterpret_cast<const char16_t*>(path), length);
    size_t slash = program.find_last_of(u"\\/");
    return (slash == std::u16string::npos ? std::u16string() : program.substr(0, slash + 1)) + name;
}

}  // namespace host
