// The metadata editor over TagLib: one COM object that answers
// IWMMetadataEditor and the three header-information interfaces. It reads
// the whole header at Open and serves the attributes from memory; it does
// not write files.
#pragma once

#include "header_reading.h"

namespace platform {

class TagLibEditor final : public IWMMetadataEditor, public HeaderReading {
public:
    TagLibEditor() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

    // IWMMetadataEditor
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) override { return OpenPath(pwszFilename); }
    HRESULT STDMETHODCALLTYPE Close() override { return CloseReading(); }
    // The editor changes nothing, so it has nothing to write.
    HRESULT STDMETHODCALLTYPE Flush() override { return WhenOpen(E_NOTIMPL); }
};

}  // namespace platform
