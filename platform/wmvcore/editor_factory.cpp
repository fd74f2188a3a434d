// WMCreateEditor and WMCreateSyncReader: hand out the TagLib-backed editor
// and reader, or the factories that a test installed in their place. The
// editor, the reader and TagLib live in a library of their own
// (libtrellan-wmvcore.so, beside this one), loaded at the first call and
// kept, as the filter module loads wmvcore.dll on the platform: processes
// that never read media never load TagLib.
#include "taglib_editor.h"

#include <win32/seams.h>

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

std::atomic<PlatformEditorFactory> installedFactory{nullptr};
std::atomic<PlatformSyncReaderFactory> installedReaderFactory{nullptr};

using EditorEntry = HRESULT (*)(IWMMetadataEditor**);
using ReaderEntry = HRESULT (*)(IWMSyncReader**);

// The editor library, or null when it cannot be loaded.
void* EditorLibrary()
{
    static std::once_flag once;
    static void* library = nullptr;
    std::call_once(once, [] {
        Dl_info self{};
        if (!dladdr(reinterpret_cast<void*>(&WMCreateEditor), &self) || !self.dli_fname)
            return;
        std::string path = self.dli_fname;
        const size_t slash = path.find_last_of('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "libtrellan-wmvcore.so";
        library = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    });
    return library;
}

// The library's entry point `name`, looked up once; null when the library
// or the entry cannot be had.
template <typename Entry>
Entry LibraryEntry(const char* name)
{
    void* library = EditorLibrary();
    return library ? reinterpret_cast<Entry>(dlsym(library, name)) : nullptr;
}

}  // namespace

extern "C" {

HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** ppMetadataEditor)
{
    if (!ppMetadataEditor)
        return E_POINTER;
    *ppMetadataEditor = nullptr;
    if (PlatformEditorFactory factory = installedFactory.load())
        return factory(ppMetadataEditor);
    static const EditorEntry create = LibraryEntry<EditorEntry>(PLATFORM_WMVCORE_ENTRY);
    if (!create)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return create(ppMetadataEditor);
}

HRESULT WINAPI WMCreateSyncReader(IUnknown*, DWORD, IWMSyncReader** ppSyncReader)
{
    if (!ppSyncReader)
        return E_POINTER;
    *ppSyncReader = nullptr;
    if (PlatformSyncReaderFactory factory = installedReaderFactory.load())
        return factory(ppSyncReader);
    static const ReaderEntry create = LibraryEntry<ReaderEntry>(PLATFORM_WMVCORE_READER_ENTRY);
    if (!create)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return create(ppSyncReader);
}

PlatformEditorFactory PlatformSeam_SetEditorFactory(PlatformEditorFactory factory)
{
    return installedFactory.exchange(factory);
}

PlatformSyncReaderFactory PlatformSeam_SetSyncReaderFactory(PlatformSyncReaderFactory factory)
{
    return installedReaderFactory.exchange(factory);
}

}  // extern "C"
