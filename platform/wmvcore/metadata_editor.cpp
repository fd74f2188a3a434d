// The editor object's identity: IWMMetadataEditor and the header
// interfaces; its reading is HeaderReading's.
#include "metadata_editor.h"

namespace platform {

HRESULT STDMETHODCALLTYPE TagLibEditor::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMMetadataEditor) {
        *object = static_cast<IWMMetadataEditor*>(this);
    } else if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 || riid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

}  // namespace platform
