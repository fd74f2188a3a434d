// WMCreateEditor: hands out the TagLib-backed metadata editor, or the
// factory that a test installed in its place. The editor and TagLib live in
// a library of their own (libtrellan-wmvcore.so, beside this one), loaded at
// the first call and kept, as the filter module loads wmvcore.dll on the
// platform: processes that never read media never load TagLib.
#include "taglib_editor.h"

#include <win32/seams.h>

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

std::atomic<PlatformEditorFactory> installedFactory{nullptr};

using EditorEntry = HRESULT (*)(IWMMetadataEditor**);

// The library's entry point, or null when it cannot be loaded.
EditorEntry LoadEditorLibrary()
{
    static std::once_flag once;
    static EditorEntry entry = nullptr;
    std::call_once(once, [] {
        Dl_info self{};
        if (!dladdr(reinterpret_cast<void*>(&WMCreateEditor), &self) || !self.dli_fname)
            return;
        std::string path = self.dli_fname;
        const size_t slash = path.find_last_of('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "libtrellan-wmvcore.so";
        void* library = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (library)
            entry = reinterpret_cast<EditorEntry>(dlsym(library, PLATFORM_WMVCORE_ENTRY));
    });
    return entry;
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
    EditorEntry create = LoadEditorLibrary();
    if (!create)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return create(ppMetadataEditor);
}

PlatformEditorFactory PlatformSeam_SetEditorFactory(PlatformEditorFactory factory)
{
    return installedFactory.exchange(factory);
}

}  // extern "C"
