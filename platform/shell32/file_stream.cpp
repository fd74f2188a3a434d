// A read-only IStream over a file descriptor. The stream keeps its position
// itself and reads with pread, so a Seek costs no system call and a reader
// that seeks before every read (as the media runtime's reader does) pays one
// call a read, as it would reading the file by path. Reads wait for the disk
// as usual; only the open is made without waiting (a pipe or a device is
// refused before anything is read).
#include "shell32/file_stream.h"

#include "kernel32/datafile_modules.h"
#include "kernel32/file_attributes.h"
#include "kernel32/modules_internal.h"

#include <win32/descriptor_stream.h>
#include <win32/shell32.h>
#include <win32/windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

extern "C" const GUID IID_IPlatformFileStream = {
    0x7A1E5C0D, 0x3B2F, 0x4E61, {0x9C, 0x8A, 0x51, 0x2D, 0x6E, 0x0F, 0x43, 0xB7}};

namespace platform::shell {
namespace {

// The largest position a stream takes: off_t's.
constexpr ULONGLONG kLastPosition = 0x7FFFFFFFFFFFFFFFull;

class FileStream final : public IStream, public IPlatformFileStream {
public:
    FileStream(int descriptor, const struct stat& opened, std::u16string name)
        : descriptor(descriptor), opened(opened), name(std::move(name))
    {
    }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *object = static_cast<IStream*>(this);
        } else if (iid == IID_IPlatformFileStream) {
            *object = static_cast<IPlatformFileStream*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(references.fetch_add(1) + 1); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG remaining = references.fetch_sub(1) - 1;
        if (remaining == 0)
            delete this;
        return static_cast<ULONG>(remaining);
    }

    // ISequentialStream: S_OK when every byte asked for was read, S_FALSE
    // when the file ended first (with what there was), STG_E_READFAULT when
    // the read failed (with what came before the failure).
    HRESULT STDMETHODCALLTYPE Read(void* bytes, ULONG count, ULONG* read) override
    {
        if (read)
            *read = 0;
        if (!bytes && count)
            return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> hold(positionLock);
        ULONG done = 0;
        HRESULT result = S_OK;
        while (done < count) {
            const ssize_t got = ::pread(descriptor, static_cast<BYTE*>(bytes) + done, count - done,
                                        static_cast<off_t>(position + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                result = STG_E_READFAULT;
            if (got <= 0)
                break;
            done += static_cast<ULONG>(got);
        }
        position += done;
        if (read)
            *read = done;
        return FAILED(result) ? result : done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override
    {
        if (written)
            *written = 0;
        return STG_E_ACCESSDENIED;  // opened for reading
    }

    // IStream
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        std::lock_guard<std::mutex> hold(positionLock);
        LONGLONG base = 0;
        switch (origin) {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<LONGLONG>(position);
            break;
        case STREAM_SEEK_END: {
            struct stat status {};
            if (::fstat(descriptor, &status) != 0)
                return STG_E_ACCESSDENIED;
            base = status.st_size;
            break;
        }
        default:
            return STG_E_INVALIDFUNCTION;
        }
        // Before the start, or past what a position can hold.
        if ((move.QuadPart < 0 && base + move.QuadPart < 0) ||
            (move.QuadPart > 0 && static_cast<ULONGLONG>(move.QuadPart) > kLastPosition - base))
            return STG_E_INVALIDFUNCTION;
        position = static_cast<ULONGLONG>(base + move.QuadPart);
        if (newPosition)
            newPosition->QuadPart = position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }  // nothing written, nothing to commit
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }       // not transacted
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* status, DWORD flags) override
    {
        if (!status)
            return STG_E_INVALIDPOINTER;
        if (flags & ~DWORD(STATFLAG_NONAME | STATFLAG_NOOPEN))
            return STG_E_INVALIDFLAG;
        struct stat file {};
        if (::fstat(descriptor, &file) != 0)
            return STG_E_ACCESSDENIED;
        std::memset(status, 0, sizeof *status);
        if (!(flags & STATFLAG_NONAME) && !name.empty()) {
            const size_t bytes = (name.size() + 1) * sizeof(char16_t);
            status->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (!status->pwcsName)
                return E_OUTOFMEMORY;
            std::memcpy(status->pwcsName, name.c_str(), bytes);
        }
        status->type = STGTY_STREAM;
        status->cbSize.QuadPart = static_cast<ULONGLONG>(file.st_size);
        status->mtime = kernel::FileTimeOf(file.st_mtim);
        status->ctime = kernel::FileTimeOf(file.st_ctim);
        status->atime = kernel::FileTimeOf(file.st_atim);
        status->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override
    {
        if (clone)
            *clone = nullptr;
        return E_NOTIMPL;
    }

    // IPlatformFileStream
    int STDMETHODCALLTYPE Descriptor() override { return descriptor; }
    const struct stat& STDMETHODCALLTYPE OpenedStatus() override { return opened; }

private:
    ~FileStream() { ::close(descriptor); }  // through Release only

    std::atomic<LONG> references{1};
    const int descriptor;
    const struct stat opened;
    const std::u16string name;
    std::mutex positionLock;
    ULONGLONG position = 0;  // under positionLock
};

}  // namespace

HRESULT CreateFileStream(int descriptor, std::u16string name, IStream** stream)
{
    *stream = nullptr;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return HRESULT_FROM_WIN32(S_ISDIR(status.st_mode) ? ERROR_ACCESS_DENIED : ERROR_INVALID_FUNCTION);
    }
    // The open's O_NONBLOCK stays: it changes nothing for a regular file's
    // reads, and dropping it would cost two calls a file.
    try {
        auto* made = new FileStream(descriptor, status, std::move(name));
        *stream = made;
        return S_OK;
    } catch (const std::bad_alloc&) {
        ::close(descriptor);
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform::shell

extern "C" {

HRESULT STDAPICALLTYPE SHCreateStreamOnFileEx(LPCWSTR file, DWORD mode, DWORD, BOOL create, IStream*,
                                              IStream** stream)
{
    if (!stream)
        return E_INVALIDARG;
    *stream = nullptr;
    // Only reading: any access bit but STGM_READ's (0), or making a file.
    if ((mode & (STGM_WRITE | STGM_READWRITE | STGM_CREATE)) || create)
        return STG_E_INVALIDFLAG;
    std::string path;
    if (!platform::modules::FileNameArgument(file, path))
        return HRESULT_FROM_WIN32(GetLastError());
    int descriptor;
    do
        descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        const int error = errno;
        return HRESULT_FROM_WIN32(error == EISDIR ? ERROR_ACCESS_DENIED
                                                  : platform::datafile::FileOpenError(path, error));
    }
    return platform::shell::CreateFileStream(descriptor, file, stream);
}

HRESULT PlatformCreateStreamOnDescriptor(int descriptor, IStream** stream)
{
    if (!stream) {
        if (descriptor >= 0)
            ::close(descriptor);
        return E_POINTER;
    }
    *stream = nullptr;
    if (descriptor < 0)
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    return platform::shell::CreateFileStream(descriptor, std::u16string(), stream);
}

}  // extern "C"
