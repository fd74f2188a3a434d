#include "type_library.h"

#include "script_resource.h"

namespace trellan {
namespace {

const WCHAR typeLibraryExtension[] = OLESTR(".tlb");
const int typeLibraryExtensionUnits = 4;

// A path longer than this could not be copied into the help-directory
// buffer, so it is refused before it is loaded.
const int longestPath = helpDirectoryUnits - 1;

HRESULT PathTooLong()
{
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

using UnRegisterTypeLibFunction = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);

}  // namespace

int DirectoryPartLength(LPCWSTR path)
{
    LPCWSTR end = path;
    for (LPCWSTR position = path; *position != 0;) {
        LPCWSTR next = CharNextW(position);
        const WCHAR passed = *position;
        if (passed == u'\\' || passed == u'/' || passed == u':')
            end = next;
        position = next;
    }
    return static_cast<int>(end - path);
}

HRESULT LoadTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix, BSTR* path, ITypeLib** typeLibrary)
{
    // Nothing is handed out until the load succeeds.
    *path = nullptr;
    *typeLibrary = nullptr;

    // The module path, which must be whole.
    WCHAR buffer[typeLibraryPathUnits];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(typeLibInstance, buffer, MAX_PATH);
    if (length == 0)
        return LastErrorAsResult();
    if (length >= MAX_PATH)
        return PathTooLong();

    // The suffix, when there is one.
    if (suffix) {
        if (length + lstrlenW(suffix) > longestPath)
            return PathTooLong();
        lstrcatW(buffer, suffix);
    }

    // The type library of the module file itself.
    HRESULT result = LoadTypeLib(buffer, typeLibrary);
    if (FAILED(result)) {
        // Else the ".tlb" file beside it: the last '.' of the whole path,
        // directories included, or the end when there is none.
        LPWSTR extension = nullptr;
        LPWSTR position = buffer;
        for (; *position != 0; position = CharNextW(position))
            if (*position == u'.')
                extension = position;
        if (!extension)
            extension = position;
        if ((extension - buffer) + typeLibraryExtensionUnits > longestPath)
            return PathTooLong();
        lstrcpyW(extension, typeLibraryExtension);

        // And that file's type library.
        result = LoadTypeLib(buffer, typeLibrary);
        if (FAILED(result))
            return result;
    }

    // The path it came from, for the caller.
    *path = SysAllocString(buffer);
    if (!*path) {
        (*typeLibrary)->Release();
        *typeLibrary = nullptr;
        return E_OUTOFMEMORY;
    }
    return result;
}

HRESULT RegisterTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix)
{
    // The type library and its path.
    BSTR path = nullptr;
    ITypeLib* typeLibrary = nullptr;
    HRESULT result = LoadTypeLibrary(typeLibInstance, suffix, &path, &typeLibrary);
    if (FAILED(result))
        return result;

    // The help directory: the path up to and including its last
    // separator. LoadTypeLibrary keeps the path short enough to fit.
    WCHAR helpDirectory[helpDirectoryUnits];
    lstrcpyW(helpDirectory, path);
    helpDirectory[DirectoryPartLength(helpDirectory)] = 0;

    // The platform's registration of it.
    result = RegisterTypeLib(typeLibrary, path, helpDirectory);

    // Both let go, whatever the registration answered.
    typeLibrary->Release();
    SysFreeString(path);
    return result;
}

HRESULT UnregisterTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix)
{
    // The type library and its path.
    BSTR path = nullptr;
    ITypeLib* typeLibrary = nullptr;
    const HRESULT result = LoadTypeLibrary(typeLibInstance, suffix, &path, &typeLibrary);
    if (FAILED(result))
        return result;

    // Its attributes name what to remove. UnRegisterTypeLib is looked up at run time; without it the
    // type library stays registered, and nothing is reported.
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(typeLibrary->GetLibAttr(&attributes)) && attributes) {
        HMODULE automation = LoadLibraryW(OLESTR("oleaut32.dll"));
        if (automation) {
            auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
                reinterpret_cast<void*>(GetProcAddress(automation, "UnRegisterTypeLib")));
            if (unregister)
                unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                           attributes->syskind);
            FreeLibrary(automation);
        }
        typeLibrary->ReleaseTLibAttr(attributes);
    }

    // Both let go; the answer is the load's.
    typeLibrary->Release();
    SysFreeString(path);
    return result;
}

}  // namespace trellan
