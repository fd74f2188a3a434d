// Whole files through the platform's handles, 64 KiB at a time, each piece
// checked as it comes, so that a wrong file is refused early. A named pipe,
// socket or device is refused before the open (a pipe with no writer would
// block the read for ever). Writes go in pieces of at most 1 GiB, as a count
// is 32 bits, and the close is checked: a failed close can be a lost write.
#include "system/whole_file.h"

#include "system/opened_file.h"
#include "system/platform_differences.h"
#include "text/status_names.h"
#include "text/text_conversion.h"

namespace host {
namespace {

LPCWSTR Wide(const std::u16string& path)
{
    return reinterpret_cast<LPCWSTR>(path.c_str());
}

bool IsFolder(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Fail(std::string* error, const char* what, const std::u16string& path)
{
    *error = std::string(what) + " " + ToUtf8(path) + ": " + Win32ErrorWords(GetLastError());
    return false;
}

bool FolderError(std::string* error, const std::u16string& path)
{
    *error = ToUtf8(path) + " is a folder, not a file";
    return false;
}

}  // namespace

bool CheckRegularFile(const std::u16string& path, std::string* error)
{
    // A pipe with no writer would keep a reader waiting for ever, and a
    // device would hand it what it likes; files by name are files.
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DEVICE))
        return true;
    *error = ToUtf8(path) + " is not a regular file (a pipe, socket or device)";
    return false;
}

bool ReadWholeFile(const std::u16string& path, std::string* bytes, std::string* error, const PieceCheck& check)
{
    bytes->clear();
    char buffer[65536];
    // Each piece is looked at as it comes, so that a file that is not what
    // its reader takes is refused at its first piece, not after all of it.
    const auto take = [&](size_t got) {
        const size_t fresh = bytes->size();
        bytes->append(buffer, got);
        return !check || check(*bytes, fresh, error);
    };
    if (path == u"-") {
        for (;;) {
            size_t got = 0;
            if (!ReadStandardInput(buffer, sizeof buffer, &got)) {
                *error = "cannot read standard input";
                return false;
            }
            if (!take(got))
                return false;
            if (got == 0)
                return true;
        }
    }
    if (IsFolder(path))
        return FolderError(error, path);
    if (!CheckRegularFile(path, error))
        return false;
    OpenedFile file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return Fail(error, "cannot open", path);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr))
            return Fail(error, "cannot read", path);
        if (!take(got))
            return false;
        if (got == 0)
            return true;
    }
}

bool WriteWholeFile(const std::u16string& path, const std::string& bytes, std::string* error)
{
    if (IsFolder(path))
        return FolderError(error, path);
    OpenedFile file(
        CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return Fail(error, "cannot write", path);
    for (size_t done = 0; done < bytes.size();) {
        const size_t left = bytes.size() - done;
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + done, DWORD(left < (1u << 30) ? left : (1u << 30)), &written,
                       nullptr) ||
            written == 0)
            return Fail(error, "cannot write", path);
        done += written;
    }
    if (!file.Close())
        return Fail(error, "cannot write", path);
    return true;
}

}  // namespace host
