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

}  // namespace

std::string MediaRuntimeProblem(const std::u16string& path)
{
    // Loaded at run time from the system folder, as the filter loads it, so
    // that the host itself starts where the runtime is missing.
    ModuleHandle runtime(trellan::LoadSystemLibrary(OLESTR("wmvcore.dll")));
    if (!runtime.Get())
        return RuntimeAnswer("cannot be loaded:", LastErrorResult());
    auto createEditor = reinterpret_cast<decltype(&WMCreateEditor)>(
        reinterpret_cast<void*>(GetProcAddress(runtime.Get(), "WMCreateEditor")));
    if (!createEditor)
        return RuntimeAnswer("has no WMCreateEditor:", LastErrorResult());

    // Released before the runtime is freed.
    trellan::ComPtr<IWMMetadataEditor> editor;
    HRESULT created = createEditor(editor.Receive());
    if (FAILED(created))
        return RuntimeAnswer("has no working metadata editor: WMCreateEditor answers", created);
    if (!editor)
        return RuntimeAnswer("has no working metadata editor: WMCreateEditor hands back none, answering", created);
    HRESULT opened = editor->Open(reinterpret_cast<LPCWSTR>(path.c_str()));
    if (opened == E_NOTIMPL)
        return RuntimeAnswer("cannot open media files: its metadata editor's Open answers", opened);
    if (SUCCEEDED(opened))
        editor->Close();
    return {};
}

}  // namespace host
