// Opening and reading a media file with the POSIX calls, or through a
// stream. A file is opened non-blocking and checked to be a regular file
// before anything is read, so that a pipe or a device path cannot make the
// editor wait; a stream is the caller's, opened as it chose.
#include "media_file.h"

#include "shell32/file_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

const size_t headCache = 16 * 1024;
const size_t tailCache = 4 * 1024;

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
    if (stream)
        stream->Release();
    stream = nullptr;
    size = 0;
    readFailed = false;
    head = Cache{};
    tail = Cache{};
}

namespace {

FileIdentity IdentityFrom(const struct stat& status)
{
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
            static_cast<uint64_t>(status.st_size), status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec,
            status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec};
}

}  // namespace

FileIdentity IdentityOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? IdentityFrom(status) : FileIdentity();
}

HRESULT MediaFile::Open(IStream* given)
{
    if (IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!given)
        return E_INVALIDARG;
    // The stand-in's own stream over a file tells its size and identity
    // as it was made (the filter and the host each open the same stream:
    // both read one version of the file); any other stream its size alone.
    identity = FileIdentity();
    IPlatformFileStream* file = nullptr;
    if (SUCCEEDED(given->QueryInterface(IID_IPlatformFileStream, reinterpret_cast<void**>(&file))) && file) {
        if (S_ISREG(file->OpenedStatus().st_mode))
            identity = IdentityFrom(file->OpenedStatus());
        file->Release();
    }
    if (identity != FileIdentity()) {
        size = identity.size;
    } else if (STATSTG status{}; SUCCEEDED(given->Stat(&status, STATFLAG_NONAME))) {
        CoTaskMemFree(status.pwcsName);  // asked for none; a stream may give one all the same
        size = status.cbSize.QuadPart;
    } else {
        LARGE_INTEGER none{};
        ULARGE_INTEGER end{};
        if (FAILED(given->Seek(none, STREAM_SEEK_END, &end)))
            return NS_E_FILE_READ;
        size = end.QuadPart;
    }
    given->AddRef();
    stream = given;
    readFailed = false;
    return S_OK;
}

HRESULT MediaFile::Open(const std::string& path)
{
    if (IsOpen())
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
    identity = IdentityFrom(status);
    return S_OK;
}

bool MediaFile::Read(uint64_t offset, size_t length, std::vector<BYTE>& bytes) const
{
    bytes.clear();
    if (!IsOpen() || offset > size || length > size - offset)
        return false;
    bytes.resize(length);
    if (ReadInto(offset, length, bytes.data()))
        return true;
    bytes.clear();
    return false;
}

bool MediaFile::ReadInto(uint64_t offset, size_t length, BYTE* out) const
{
    if (!IsOpen() || offset > size || length > size - offset)
        return false;
    if (length == 0)
        return true;  // `out` may then be null
    if (const BYTE* cached = Cached(offset, length)) {
        std::memcpy(out, cached, length);
        return true;
    }
    return ReadFromFile(offset, length, out);
}

const BYTE* MediaFile::Cached(uint64_t offset, size_t length) const
{
    auto load = [&](Cache& cache, uint64_t start, size_t cachedLength) {
        if (!cache.bytes) {
            cache.bytes = std::make_unique_for_overwrite<BYTE[]>(cachedLength);
            cache.length = cachedLength;
            if (!ReadFromFile(start, cachedLength, cache.bytes.get()))
                cache = Cache{};
        }
        return cache.bytes.get();
    };
    const size_t headLength = static_cast<size_t>(std::min<uint64_t>(size, headCache));
    if (offset + length <= headLength) {
        const BYTE* bytes = load(head, 0, headLength);
        return bytes ? bytes + offset : nullptr;
    }
    const uint64_t tailStart = size - std::min<uint64_t>(size, tailCache);
    if (offset >= tailStart) {
        const BYTE* bytes = load(tail, tailStart, static_cast<size_t>(size - tailStart));
        return bytes ? bytes + (offset - tailStart) : nullptr;
    }
    return nullptr;
}

bool MediaFile::ReadFromFile(uint64_t offset, size_t length, BYTE* out) const
{
    if (stream)
        return ReadFromStream(offset, length, out);
    size_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(descriptor, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            readFailed = true;  // an error, or the file is shorter than it was
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool MediaFile::ReadFromStream(uint64_t offset, size_t length, BYTE* out) const
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (FAILED(stream->Seek(to, STREAM_SEEK_SET, nullptr))) {
        readFailed = true;
        return false;
    }
    // A stream may give fewer bytes than asked without being at its end:
    // it is asked again until it gives none.
    size_t done = 0;
    while (done < length) {
        const ULONG ask = static_cast<ULONG>(std::min<size_t>(length - done, 1u << 30));
        ULONG got = 0;
        const HRESULT result = stream->Read(out + done, ask, &got);
        if (FAILED(result) || got == 0 || got > ask) {
            readFailed = true;
            return false;
        }
        done += got;
    }
    return true;
}

}  // namespace platform
