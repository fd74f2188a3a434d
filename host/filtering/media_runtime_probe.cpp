// The host's own look at the media runtime: loaded from the system folder
// for the question and freed after it, as the filter loads it, so that the
// host itself starts where the runtime is missing.
#include "filtering/media_runtime_probe.h"

#include "com_ptr.h"
#include "text/text_conversion.h"
#include "system/module_handle.h"
#include "text/status_names.h"
#include "system_library.h"

#include <type_traits>

namespace host {
namespace {

HRESULT LastErrorResult()
{
    HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : E_FAIL;
}

std::string RuntimeAnswer(const char* what, HRESULT answer)
{
    return std::string("the platform's media-format runtime (wmvcore.dll) ") + what + " " + StatusName(answer);
}

// What one route calls its parts, for the sentences.
struct RouteWords {
    const char* function;   // the runtime's export
    const char* missing;    // when it lacks the export
    const char* broken;     // when the export fails or hands back nothing
    const char* noOpening;  // when opening is not implemented
};
const RouteWords routeWords[] = {
    {"WMCreateEditor", "has no WMCreateEditor:", "has no working metadata editor: WMCreateEditor",
     "cannot open media files: its metadata editor's Open answers"},
    {"WMCreateSyncReader", "has no WMCreateSyncReader:", "has no working synchronous reader: WMCreateSyncReader",
     "cannot read media streams: its synchronous reader's OpenStream answers"},
};

// Opens the file and closes it again with `source` (an editor or a
// reader): its answer, or `problem` set when opening is not implemented.
template <typename Source>
HRESULT OpenAndClose(Source* source, const std::u16string& path, IStream* given, const RouteWords& words,
                     std::string& problem)
{
    HRESULT opened;
    if constexpr (std::is_same_v<Source, IWMSyncReader>) {
        trellan::ComPtr<IStream> stream;
        opened = given ? S_OK
                       : SHCreateStreamOnFileEx(reinterpret_cast<LPCWSTR>(path.c_str()),
                                                STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, stream.Receive());
        if (FAILED(opened))
            return opened;
        opened = source->OpenStream(given ? given : stream.Get());
    } else {
        opened = source->Open(reinterpret_cast<LPCWSTR>(path.c_str()));
    }
    if (opened == E_NOTIMPL)
        problem = RuntimeAnswer(words.noOpening, opened);
    if (SUCCEEDED(opened))
        source->Close();
    return opened;
}

// Makes the route's object with `create` (a function of the runtime) and
// opens the file with it.
template <typename Source, typename Create>
HRESULT CreateAndOpen(Create create, const std::u16string& path, IStream* stream, const RouteWords& words,
                      std::string& problem)
{
    trellan::ComPtr<Source> source;  // released before the runtime is freed
    HRESULT created;
    if constexpr (std::is_same_v<Source, IWMSyncReader>)
        created = create(nullptr, 0, source.Receive());
    else
        created = create(source.Receive());
    if (FAILED(created)) {
        problem = RuntimeAnswer((std::string(words.broken) + " answers").c_str(), created);
        return created;
    }
    if (!source) {
        problem = RuntimeAnswer((std::string(words.broken) + " hands back none, answering").c_str(), created);
        return E_POINTER;
    }
    return OpenAndClose(source.Get(), path, stream, words, problem);
}

// Opens the file with the runtime by `route` and closes it again: the
// runtime's answer, or its failure with `problem` saying what it is.
HRESULT OpenWithRuntime(const std::u16string& path, RuntimeRoute route, IStream* stream, std::string& problem)
{
    const RouteWords& words = routeWords[route == RuntimeRoute::stream];
    ModuleHandle runtime(trellan::LoadSystemLibrary(OLESTR("wmvcore.dll")));
    if (!runtime.Get()) {
        const HRESULT failure = LastErrorResult();
        problem = RuntimeAnswer("cannot be loaded:", failure);
        return failure;
    }
    void* function = reinterpret_cast<void*>(GetProcAddress(runtime.Get(), words.function));
    if (!function) {
        const HRESULT failure = LastErrorResult();
        problem = RuntimeAnswer(words.missing, failure);
        return failure;
    }
    if (route == RuntimeRoute::stream)
        return CreateAndOpen<IWMSyncReader>(reinterpret_cast<decltype(&WMCreateSyncReader)>(function), path, stream,
                                            words, problem);
    return CreateAndOpen<IWMMetadataEditor>(reinterpret_cast<decltype(&WMCreateEditor)>(function), path, nullptr,
                                            words, problem);
}

}  // namespace

std::string MediaRuntimeProblem(const std::u16string& path, RuntimeRoute route, IStream* stream)
{
    std::string problem;
    OpenWithRuntime(path, route, stream, problem);
    return problem;
}

HRESULT MediaRuntimeOpenResult(const std::u16string& path, RuntimeRoute route, IStream* stream)
{
    std::string problem;
    return OpenWithRuntime(path, route, stream, problem);
}

}  // namespace host
