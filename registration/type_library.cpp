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
    // 1.
    *path = nullptr;
    *typeLibrary = nullptr;

    // 2. The module path, which must be whole.
    WCHAR buffer[typeLibraryPathUnits];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(typeLibInstance, buffer, MAX_PATH);
    if (length == 0)
        return LastErrorAsResult();
    if (length >= MAX_PATH)
        return PathTooLong();

    // 3. The suffix.
    if (suffix) {
        if (length + lstrlenW(suffix) > longestPath)
            return PathTooLong();
        lstrcatW(buffer, suffix);
    }

    // 4.
    HRESULT result = LoadTypeLib(buffer, typeLibrary);
    if (FAILED(result)) {
        // 5. The ".tlb" file beside it: the last '.' of the whole path,
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

        // 6.
        result = LoadTypeLib(buffer, typeLibrary);
        if (FAILED(result))
            return result;
    }

    // 7.
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
    // 1.
    BSTR path = nullptr;
    ITypeLib* typeLibrary = nullptr;
    HRESULT result = LoadTypeLibrary(typeLibInstance, suffix, &path, &typeLibrary);
    if (FAILED(result))
        return result;

    // 2. The help directory: the path up to and including its last
    // separator. LoadTypeLibrary keeps the path short enough to fit.
    WCHAR helpDirectory[helpDirectoryUnits];
    lstrcpyW(helpDirectory, path);
    helpDirectory[DirectoryPartLength(helpDirectory)] = 0;

    // 3.
    result = RegisterTypeLib(typeLibrary, path, helpDirectory);

    // 4.
    typeLibrary->Release();
    SysFreeString(path);
    return result;
}

HRESULT UnregisterTypeLibrary(HINSTANCE typeLibInstance, LPCWSTR suffix)
{
    // 1.
    BSTR path = nullptr;
    ITypeLib* typeLibrary = nullptr;
    const HRESULT result = LoadTypeLibrary(typeLibInstance, suffix, &path, &typeLibrary);
    if (FAILED(result))
        return result;

    // 2 to 4. UnRegisterTypeLib is looked up at run time; without it the
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

    // 5.
    typeLibrary->Release();
    SysFreeString(path);
    return result;
}

}  // namespace trellan
