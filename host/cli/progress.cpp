// The progress and summary lines on standard error. The progress line is
// redrawn in place with a carriage return and an erase to the line's end,
// which only a terminal understands; it first shows after a second, then at
// most every 250 ms, so that a short run prints none and a long one spends
// little on it.
#include "cli/progress.h"

#include "system/platform_differences.h"

#include <cstdio>

namespace host {
namespace {

constexpr ULONGLONG quietStart = 1000;  // ms before the first progress line
constexpr ULONGLONG refresh = 250;      // ms between progress lines

const char* FilesNoun(unsigned long count)
{
    return count == 1 ? "file" : "files";
}

}  // namespace

Progress::Progress(const char* command, bool quiet)
    : command(command), quiet(quiet), terminal(!quiet && IsTerminal(STD_ERROR_HANDLE)), started(GetTickCount64())
{
}

double Progress::Seconds() const
{
    return double(GetTickCount64() - started) / 1000.0;
}

void Progress::Add(bool isFailed, bool isSkipped)
{
    ++files;
    failed += isFailed ? 1 : 0;
    skipped += isSkipped ? 1 : 0;
    if (!terminal)
        return;
    const ULONGLONG now = GetTickCount64();
    if (now - started >= quietStart && now - shownAt >= refresh) {
        shownAt = now;
        Show();
    }
}

void Progress::Show()
{
    const double seconds = Seconds();
    std::fprintf(stderr, "\rtrellan %s: %lu %s, %lu failed, %lu skipped, %.1f s, %.0f files/s\x1b[K", command,
                 files, FilesNoun(files), failed, skipped, seconds, seconds > 0 ? files / seconds : 0.0);
    std::fflush(stderr);
    shown = true;
}

void Progress::Finish(const std::string& extra)
{
    if (quiet)
        return;
    if (shown)
        std::fputs("\r\x1b[K", stderr);
    const double seconds = Seconds();
    std::fprintf(stderr, "trellan %s: %lu %s, %lu filtered, %lu failed, %lu skipped%s, %.2f s, %.0f files/s\n",
                 command, files, FilesNoun(files), files - failed - skipped, failed, skipped, extra.c_str(), seconds,
                 files / (seconds > 0.001 ? seconds : 0.001));
}

}  // namespace host
