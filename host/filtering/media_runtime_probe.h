// Why a file could not be filtered, when the reason is the platform's
// media-format runtime rather than the file: the host asks the runtime
// itself, as the filter does (its metadata editor by path, or its
// synchronous reader over a stream of the file), and opens the file with it.
#pragma once

#include "winapi.h"

#include <string>

namespace host {

// How the runtime is asked: as a filter bound by path or by stream reads.
enum class RuntimeRoute { path, stream };

// A sentence naming the runtime's answer when it cannot read media at all:
// wmvcore.dll does not load or lacks the function (WMCreateEditor,
// WMCreateSyncReader), the function fails, or the opening is not
// implemented (E_NOTIMPL, as Wine's editor answers). Empty when the runtime
// opens the file, or refuses it for the file's own sake (missing, not a
// media file, damaged).
// By stream, `stream` (when given) is read rather than a new one opened
// over the path.
std::string MediaRuntimeProblem(const std::u16string& path, RuntimeRoute route, IStream* stream = nullptr);

// What the runtime answers when it opens the file (it is closed again at
// once), or the runtime's own failure when it cannot open files at all.
HRESULT MediaRuntimeOpenResult(const std::u16string& path, RuntimeRoute route, IStream* stream = nullptr);

}  // namespace host
