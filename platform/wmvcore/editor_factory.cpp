// WMCreateEditor: hands out the TagLib-backed metadata editor, or the
// factory that a test installed in its place.
#include "taglib_editor.h"

#include <win32/seams.h>

#include <atomic>

namespace {
std::atomic<PlatformEditorFactory> installedFactory{nullptr};
}

extern "C" {

HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** ppMetadataEditor)
{
    if (!ppMetadataEditor)
        return E_POINTER;
    *ppMetadataEditor = nullptr;
    if (PlatformEditorFactory factory = installedFactory.load())
        return factory(ppMetadataEditor);
    return platform::CreateTagLibEditor(ppMetadataEditor);
}

PlatformEditorFactory PlatformSeam_SetEditorFactory(PlatformEditorFactory factory)
{
    return installedFactory.exchange(factory);
}

}  // extern "C"
