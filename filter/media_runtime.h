// The platform's media-format runtime (wmvcore.dll), loaded from the system
// folder when the first file is filtered rather than imported: where the
// runtime is missing the module still loads and registers, and filtering
// fails cleanly.
//
// The runtime is loaded once and never freed. Freeing it with the module,
// from the library's entry point at process detach, is what the platform
// forbids (the loader lock is held there, and the filter host unloads idle
// filters while it runs); freeing it anywhere else could pull it from under
// a harvest starting on another thread. A system library that stays loaded
// costs nothing: a later load of the module finds it in place.
#pragma once

#include "winapi.h"

namespace trellan {

using CreateEditorFunction = HRESULT(WINAPI*)(IWMMetadataEditor** editor);
using CreateSyncReaderFunction = HRESULT(WINAPI*)(IUnknown* certificate, DWORD rights, IWMSyncReader** reader);

// The runtime's WMCreateEditor, and its WMCreateSyncReader. The first
// successful call of each loads the runtime and keeps it; every later call,
// on any thread, gets the same function. A runtime that cannot be loaded,
// or lacks the function, answers its error (HRESULT_FROM_WIN32 of the
// loader's) and is tried again at the next call.
HRESULT FindCreateEditor(CreateEditorFunction* createEditor);
HRESULT FindCreateSyncReader(CreateSyncReaderFunction* createSyncReader);

}  // namespace trellan
