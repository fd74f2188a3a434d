#include "filtering/media_runtime_probe.h"

#include "com_ptr.h"
#include "text/text_conversion.h"
#include "system/module_handle.h"
#include "text/status_names.h"
#include "system_library.h"

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

// Opens the file with the runtime's metadata editor and closes it again:
// the editor's answer, or the runtime's failure with `problem` saying what
// it is.
HRESULT OpenWithRuntime(const std::u16string& path, std::string& problem)
{
    // Loaded at run time from the system folder, as the filter loads it, so
    // that the host itself starts where the runtime is missing.
    ModuleHandle runtime(trellan::LoadSystemLibrary(OLESTR("wmvcore.dll")));
    if (!runtime.Get()) {
        const HRESULT failure = LastErrorResult();
        problem = RuntimeAnswer("cannot be loaded:", failure);
        return failure;
    }
    auto createEditor = reinterpret_cast<decltype(&WMCreateEditor)>(
        reinterpret_cast<void*>(GetProcAddress(runtime.Get(), "WMCreateEditor")));
    if (!createEditor) {
        const HRESULT failure = LastErrorResult();
        problem = RuntimeAnswer("has no WMCreateEditor:", failure);
        return failure;
    }

    // Released before the runtime is freed.
    trellan::ComPtr<IWMMetadataEditor> editor;
    HRESULT created = createEditor(editor.Receive());
    if (FAILED(created)) {
        problem = RuntimeAnswer("has no working metadata editor: WMCreateEditor answers", created);
        return created;
    }
    if (!editor) {
        problem = RuntimeAnswer("has no working metadata editor: WMCreateEditor hands back none, answering", created);
        return E_POINTER;
    }
    HRESULT opened = editor->Open(reinterpret_cast<LPCWSTR>(path.c_str()));
    if (opened == E_NOTIMPL)
        problem = RuntimeAnswer("cannot open media files: its metadata editor's Open answers", opened);
    if (SUCCEEDED(opened))
        editor->Close();
    return opened;
}

}  // namespace

std::string MediaRuntimeProblem(const std::u16string& path)
{
    std::string problem;
    OpenWithRuntime(path, problem);
    return problem;
}

HRESULT MediaRuntimeOpenResult(const std::u16string& path)
{
    std::string problem;
    return OpenWithRuntime(path, problem);
}

}  // namespace host
