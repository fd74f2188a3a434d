// The factory behind WMCreateEditor's default: a new TagLib editor.
#include "taglib_editor.h"

#include "metadata_editor.h"

#include <new>

namespace platform {

HRESULT CreateTagLibEditor(IWMMetadataEditor** editor)
{
    if (!editor)
        return E_POINTER;
    *editor = new (std::nothrow) TagLibEditor;
    return *editor ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform
