// Why a file could not be filtered, when the reason is the platform's
// media-format runtime rather than the file: the host asks the runtime for
// a metadata editor itself, as the filter does, and opens the file with it.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

// A sentence naming the runtime's answer when it cannot read media at all:
// wmvcore.dll does not load or has no WMCreateEditor, WMCreateEditor fails,
// or the editor's Open is not implemented (E_NOTIMPL, as under Wine). Empty
// when the editor opens the file, or refuses it for the file's own sake
// (missing, not a media file, damaged).
std::string MediaRuntimeProblem(const std::u16string& path);

// What the runtime's metadata editor answers when it opens the file (it is
// closed again at once), or the runtime's own failure when it has no
// working editor.
HRESULT MediaRuntimeOpenResult(const std::u16string& path);

}  // namespace host
