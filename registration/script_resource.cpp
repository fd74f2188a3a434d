#include "script_resource.h"

#include "heap_memory.h"
#include "script_parser.h"

#include <cstring>

namespace trellan {
namespace {

const int pathUnits = MAX_PATH;

// A copy of `path` in which every single quote is written twice, so that
// the path can stand inside a quoted script token.
bool DoubleQuotes(LPCWSTR path, HeapBlock& copy)
{
    if (!copy.Allocate((2 * static_cast<size_t>(lstrlenW(path)) + 1) * sizeof(WCHAR)))
        return false;
    LPWSTR out = copy.As<WCHAR>();
    for (LPCWSTR in = path; *in != 0; ++in) {
        *out++ = *in;
        if (*in == u'\'')
            *out++ = u'\'';
    }
    *out = 0;
    return true;
}

}  // namespace

HRESULT LastErrorAsResult()
{
    const HRESULT error = static_cast<HRESULT>(GetLastError());
    if (error > 0)
        return static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(error) & 0xFFFF));
    return error < 0 ? error : E_FAIL;
}

HRESULT RunScriptResource(HINSTANCE moduleInstance, WORD resourceId, BOOL registerServer,
                          const ScriptReplacement* extra, HKEY classesRoot)
{
    // A map of its own for this run.
    ReplacementMap map;

    // The long path of the library file. A path that does not fit, or no
    // path at all, would register a wrong module: refuse it.
    WCHAR longPath[pathUnits];
    SetLastError(ERROR_SUCCESS);
    const DWORD longLength = GetModuleFileNameW(moduleInstance, longPath, pathUnits);
    if (longLength == 0)
        return LastErrorAsResult();
    if (longLength >= pathUnits)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    // The short form, only for the process's own image.
    WCHAR shortPath[pathUnits];
    LPCWSTR chosenPath = longPath;
    if (moduleInstance == nullptr || moduleInstance == GetModuleHandleW(nullptr)) {
        const DWORD shortLength = GetShortPathNameW(longPath, shortPath, pathUnits);
        if (shortLength >= pathUnits)
            return E_OUTOFMEMORY;  // the short form does not fit the buffer
        if (shortLength != 0 && shortLength != ERROR_INVALID_PARAMETER)
            chosenPath = shortPath;
    }

    // "Module" first, then the caller's rows. An addition that
    // failed shows later as a reference to a name the map lacks.
    HeapBlock quotedPath;
    if (!DoubleQuotes(chosenPath, quotedPath))
        return E_OUTOFMEMORY;
    map.Add(OLESTR("Module"), quotedPath.As<WCHAR>());
    for (const ScriptReplacement* row = extra; row && row->name; ++row)
        map.Add(row->name, row->value);

    // The chosen path itself, not the quoted copy.
    const HRESULT result = LoadAndRunScript(map, chosenPath, resourceId, OLESTR("REGISTRY"), registerServer,
                                           classesRoot);

    // The map is cleared and destroyed on the way out.
    return result;
}

HRESULT LoadAndRunScript(ReplacementMap& map, LPCWSTR modulePath, WORD resourceId, LPCWSTR resourceType,
                         BOOL registerServer, HKEY classesRoot)
{
    // The library file, mapped a second time as data.
    HMODULE dataFile = LoadLibraryExW(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!dataFile)
        return LastErrorAsResult();

    // The resource.
    HRSRC found = FindResourceW(dataFile, MAKEINTRESOURCEW(resourceId), resourceType);
    HGLOBAL loaded = found ? LoadResource(dataFile, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!data) {
        const HRESULT result = LastErrorAsResult();
        FreeLibrary(dataFile);
        return result;
    }
    const DWORD size = SizeofResource(dataFile, found);

    // The bytes up to the first NUL, or all of them, NUL-terminated.
    const void* nul = std::memchr(data, 0, size);
    const size_t byteLength = nul ? static_cast<const char*>(nul) - data : size;
    HeapBlock terminated;
    const char* text = data;
    if (!nul) {
        if (!terminated.Allocate(static_cast<size_t>(size) + 1)) {
            FreeLibrary(dataFile);
            return E_OUTOFMEMORY;
        }
        std::memcpy(terminated.As<char>(), data, size);
        terminated.As<char>()[size] = 0;
        text = terminated.As<char>();
    }

    // UTF-16. A failed conversion leaves an empty text.
    HeapBlock wide((byteLength + 1) * sizeof(WCHAR));
    if (!wide) {
        FreeLibrary(dataFile);
        return E_OUTOFMEMORY;
    }
    wide.As<WCHAR>()[0] = 0;
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.As<WCHAR>(), static_cast<int>(byteLength + 1));
    terminated.Free();

    // Run it with a fresh parser; the data file goes first.
    FreeLibrary(dataFile);
    ScriptParser parser(&map);
    parser.classesRoot = classesRoot;
    return parser.RunScript(wide.As<WCHAR>(), registerServer != FALSE);
}

}  // namespace trellan
