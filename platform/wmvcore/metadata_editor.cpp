// The editor object's identity: IWMMetadataEditor and the header
// interfaces; its reading is HeaderReading's.
#include "metadata_editor.h"

namespace platform {

HRESULT STDMETHODCALLTYPE TagLibEditor::QueryInterface(REFIID riid, void** object)
{
    return QueryReading(riid, IID_IWMMetadataEditor, static_cast<IWMMetadataEditor*>(this), object);
}

}  // namespace platform
