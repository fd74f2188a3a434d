// The factories behind WMCreateEditor's and WMCreateSyncReader's defaults:
// a new TagLib editor, a new TagLib reader.
#include "taglib_editor.h"

#include "metadata_editor.h"
#include "sync_reader.h"

#include <new>

extern "C" HRESULT PlatformWmvcore_CreateEditor(IWMMetadataEditor** editor)
{
    if (!editor)
        return E_POINTER;
    *editor = new (std::nothrow) platform::TagLibEditor;
    return *editor ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT PlatformWmvcore_CreateSyncReader(IWMSyncReader** reader)
{
    if (!reader)
        return E_POINTER;
    *reader = new (std::nothrow) platform::TagLibSyncReader;
    return *reader ? S_OK : E_OUTOFMEMORY;
}
