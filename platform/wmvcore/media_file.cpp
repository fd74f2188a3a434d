// Opening and reading a media file with the POSIX calls. The file is
// opened non-blocking and checked to be a regular file before anything is
// read, so that a pipe or a device path cannot make the editor wait.
#include "media_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

HRESULT OpenFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return NS_E_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return E_ACCESSDENIED;
    default:
        return NS_E_FILE_OPEN_FAILED;
    }
}

}  // namespace

MediaFile::~MediaFile()
{
    Close();
}

void MediaFile::Close()
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
    size = 0;
}

HRESULT MediaFile::Open(const std::string& path)
{
    if (descriptor >= 0)
        return NS_E_INVALID_REQUEST;
    if (path.empty())
        return NS_E_FILE_NOT_FOUND;

    int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0)
        return OpenFailure(errno);

    struct stat status {};
    if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(opened);
        return NS_E_FILE_OPEN_FAILED;
    }
    descriptor = opened;
    size = static_cast<uint64_t>(status.st_size);
    return S_OK;
}

bool MediaFile::Read(uint64_t offset, size_t length, std::vector<BYTE>& bytes) const
{
    bytes.clear();
    if (descriptor < 0 || offset > size || length > size - offset)
        return false;
    bytes.resize(length);
    if (ReadInto(offset, length, bytes.data()))
        return true;
    bytes.clear();
    return false;
}

bool MediaFile::ReadInto(uint64_t offset, size_t length, BYTE* out) const
{
    if (descriptor < 0 || offset > size || length > size - offset)
        return false;
    size_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(descriptor, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace platform
