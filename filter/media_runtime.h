// The platform's media-format runtime (wmvcore.dll), loaded from the system
// folder when the first file is filtered rather than imported: where the
// runtime is missing the module still loads and registers, and filtering
// fails cleanly.
#pragma once

#include "winapi.h"

namespace trellan {

using CreateEditorFunction = HRESULT(WINAPI*)(IWMMetadataEditor** editor);

// The runtime's WMCreateEditor. The first successful call loads the runtime
// and keeps it; every later call, on any thread, gets the same function. A
// runtime that cannot be loaded, or has no WMCreateEditor, answers its error
// (HRESULT_FROM_WIN32 of the loader's) and is tried again at the next call.
HRESULT FindCreateEditor(CreateEditorFunction* createEditor);

// Frees the runtime when the module is unloaded. Not to be called while a
// filter object lives.
void ReleaseMediaRuntime();

}  // namespace trellan
