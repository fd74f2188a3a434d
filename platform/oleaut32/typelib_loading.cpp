// LoadTypeLib: a compiled type library from a .tlb file, or from a TYPELIB
// resource of a module file (resource 1, or N for a path written "path\N").
// Loading does not register the library.
#include "kernel32/modules_internal.h"
#include "typelib_objects.h"

#include <win32/resources.h>

#include <fstream>
#include <iterator>
#include <new>

namespace platform::typelib {
namespace {

constexpr WORD defaultResource = 1;
// Larger files are no type library this stand-in reads.
constexpr std::streamoff largestFile = 256 * 1024 * 1024;

enum class FileKind { missing, module, other };

FileKind Probe(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return FileKind::missing;
    char start[4] = {};
    file.read(start, sizeof start);
    return file.gcount() == 4 && std::memcmp(start, "\x7F" "ELF", 4) == 0 ? FileKind::module : FileKind::other;
}

HRESULT ReadFile(const std::string& path, std::vector<BYTE>& bytes)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return TYPE_E_CANTLOADLIBRARY;
    std::streamoff size = file.tellg();
    if (size < 0 || size > largestFile)
        return TYPE_E_CANTLOADLIBRARY;
    bytes.resize(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size))
        return TYPE_E_CANTLOADLIBRARY;
    return S_OK;
}

// Reads the library from the module's TYPELIB resource; the data-file load
// ends before this returns, and the record keeps no pointer into it.
HRESULT ReadFromModule(const std::u16string& path, WORD resource, LibraryRecord& record)
{
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return TYPE_E_CANTLOADLIBRARY;
    HRESULT result = TYPE_E_CANTLOADLIBRARY;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), u"TYPELIB")) {
        auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        DWORD size = SizeofResource(module, found);
        if (data)
            result = ReadTypeLibrary(data, size, record);
    }
    FreeLibrary(module);
    return result;
}

// Splits "path\N" into the path and the resource number N.
bool SplitResourceSuffix(const std::u16string& text, std::u16string& path, WORD& resource)
{
    size_t separator = text.rfind(u'\\');
    if (separator == std::u16string::npos || separator + 1 == text.size() || separator == 0)
        return false;
    DWORD number = 0;
    for (size_t i = separator + 1; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
        number = number * 10 + (text[i] - u'0');
        if (number > 0xFFFF)
            return false;
    }
    path = text.substr(0, separator);
    resource = static_cast<WORD>(number);
    return true;
}

HRESULT Load(const std::u16string& text, LibraryRecord& record)
{
    std::u16string path = text;
    WORD resource = defaultResource;
    bool suffix = false;
    std::string file;
    if (!modules::PathToUtf8(path.c_str(), file))
        return TYPE_E_CANTLOADLIBRARY;
    FileKind kind = Probe(file);
    if (kind == FileKind::missing) {
        if (!SplitResourceSuffix(text, path, resource) || !modules::PathToUtf8(path.c_str(), file))
            return TYPE_E_CANTLOADLIBRARY;
        kind = Probe(file);
        suffix = true;
    }
    switch (kind) {
    case FileKind::module:
        return ReadFromModule(path, resource, record);
    case FileKind::other: {
        if (suffix)
            return TYPE_E_CANTLOADLIBRARY;
        std::vector<BYTE> bytes;
        HRESULT result = ReadFile(file, bytes);
        return FAILED(result) ? result : ReadTypeLibrary(bytes.data(), bytes.size(), record);
    }
    default:
        return TYPE_E_CANTLOADLIBRARY;
    }
}

}  // namespace
}  // namespace platform::typelib

using namespace platform::typelib;

extern "C" HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile)
        return E_INVALIDARG;
    try {
        auto record = std::make_shared<LibraryRecord>();
        HRESULT result = Load(szFile, *record);
        if (FAILED(result))
            return result;
        return CreateTypeLibrary(std::move(record), pptlib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
