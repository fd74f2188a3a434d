// The factory behind WMCreateEditor's default: a new TagLib editor.
#include "taglib_editor.h"

#include "metadata_editor.h"

#include <new>

extern "C" HRESULT PlatformWmvcore_CreateEditor(IWMMetadataEditor** editor)
{
    if (!editor)
        return E_POINTER;
    *editor = new (std::nothrow) platform::TagLibEditor;
    return *editor ? S_OK : E_OUTOFMEMORY;
}
