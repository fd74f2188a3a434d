// Placeholder until the TagLib editor lands.
#include "taglib_editor.h"

namespace platform {

HRESULT CreateTagLibEditor(IWMMetadataEditor** editor)
{
    *editor = nullptr;
    return E_NOTIMPL;
}

}  // namespace platform
