// The host's words for a failed file: a look at the path first, then, for
// a readable file, the media runtime's own answer for it.
#include "filtering/failure_cause.h"

#include "filtering/media_runtime_probe.h"
#include "system/slim_lock.h"
#include "text/status_names.h"

namespace host {
namespace {

// The runtime's answer is the same for every readable file of a run, so it
// is asked once: a folder of damaged files does not load the runtime and
// open each file again.
// (Once for each route: the editor and the reader may answer apart.)
std::string MediaRuntimeProblemOnce(const std::u16string& path, RuntimeRoute route, IStream* stream)
{
    static SlimLock lock;
    static bool asked[2] = {};
    static std::string problem[2];
    const int index = route == RuntimeRoute::stream;
    SlimLockHolder hold(lock);
    if (!asked[index]) {
        problem[index] = MediaRuntimeProblem(path, route, stream);
        asked[index] = true;
    }
    return problem[index];
}

}  // namespace

bool DescribePathProblem(const std::u16string& path, FailureCause& cause)
{
    const auto* name = reinterpret_cast<LPCWSTR>(path.c_str());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(name, GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        cause = {Win32ErrorWords(error), error == ERROR_NOT_ENOUGH_MEMORY,
                 error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_ACCESS_DENIED};
        return true;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        cause = {"a folder, not a file"};
        return true;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
        cause = {"not a regular file (a pipe, socket or device)"};
        return true;
    }
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A link whose target cannot be had is described as a link.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            cause = {"a link to a file or folder that does not exist"};
        else if (error == ERROR_CANT_RESOLVE_FILENAME)
            cause = {"a loop of links (too many levels of links)"};
        else
            cause = {"cannot be opened for reading: " + Win32ErrorWords(error), false, true};
        return true;
    }
    CloseHandle(file);
    return false;
}

void FailForPath(FileRecord& record)
{
    FailureCause cause;
    DescribePathProblem(record.path, cause);
    record.status = FILTER_E_ACCESS;
    record.cause = cause.words.empty() ? "cannot be opened for reading" : std::move(cause.words);
    record.outside = cause.outside;
    record.memoryShort = cause.memory;
}

FailureCause DescribeFailure(const std::u16string& path, bool byStream, IStream* stream)
{
    const RuntimeRoute route = byStream ? RuntimeRoute::stream : RuntimeRoute::path;
    FailureCause cause;
    if (stream) {
        STATSTG status{};
        if (SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME)) && status.cbSize.QuadPart == 0)
            return {"an empty file"};
    } else {
        if (DescribePathProblem(path, cause))
            return cause;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(reinterpret_cast<LPCWSTR>(path.c_str()), GetFileExInfoStandard, &data) &&
            data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)
            return {"an empty file"};
    }
    // A readable file may fail only because the platform cannot read media
    // at all (Wine's media-format runtime has no metadata editor).
    std::string runtime = MediaRuntimeProblemOnce(path, route, stream);
    if (!runtime.empty())
        return {runtime, false, true};
    // The runtime reads media: its answer for this file tells a file over
    // its limits and memory that ran short from a file it cannot read. A
    // file that opens now failed while it was short of memory, or changed.
    const HRESULT opened = MediaRuntimeOpenResult(path, route, stream);
    if (opened == E_OUTOFMEMORY)
        return {"out of memory", true, true};
    if (opened == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE))
        return {"over the size limit of the media-format runtime's metadata editor"};
    if (SUCCEEDED(opened))
        return {"out of memory, or the file changed while it was read (it opens now)", true, true};
    // The runtime's reader may refuse a stream for its own reasons (Wine's
    // cannot read media without its GStreamer plugins): only its word for
    // a file it cannot read blames the file.
    const HRESULT notMedia = static_cast<HRESULT>(0xC00D0BBC);  // NS_E_INVALID_INPUT_FORMAT
    if (route == RuntimeRoute::stream && opened != notMedia)
        return {"the media-format runtime's synchronous reader refuses it: OpenStream answers " + StatusName(opened),
                false, true};
    return {"not a media file that the filter can read, or damaged"};
}

}  // namespace host
