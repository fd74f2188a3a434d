// The platform-dependent corners of the CLI: how the command line arrives,
// how the registry file is chosen, and what the module file is called.
#include "arguments.h"

#include "console.h"

#include <cstdlib>

#ifdef _WIN32
#include <shellapi.h>
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

std::u16string PathFromListBytes(std::string_view bytes)
{
    return FromUtf8(bytes);
}

#else

const char16_t* const defaultModuleName = u"trellan.so";
const char16_t pathSeparator = u'/';

// The file system's bytes, which need not be UTF-8: CP_ACP keeps every byte
// (see the stand-in's text conversion).
std::u16string PathFromListBytes(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::u16string out(units > 0 ? units : 0, u'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), reinterpret_cast<LPWSTR>(out.data()), units);
    return out;
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
    const int bytes = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(path.c_str()), -1, nullptr, 0,
                                          nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 1, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(path.c_str()), -1, text.data(), bytes, nullptr,
                            nullptr);
    return setenv("TRELLAN_REGISTRY", text.c_str(), 1) == 0;
}

#endif

bool IsTerminal(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
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
