// LoadLibraryExW and the records of data-file loads. A data-file load maps
// the whole file read-only, finds its ".rsrc" section and reads the resource
// entries in it; the file is never run. The handle is the mapping's address
// with the low bit set.
#include "datafile_modules.h"

#include "modules_internal.h"
#include "resource_section.h"

#include <win32/resources.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace platform::datafile {
namespace {

std::mutex recordsLock;
std::map<ULONG_PTR, std::shared_ptr<const DataFileImage>>& Records()
{
    static std::map<ULONG_PTR, std::shared_ptr<const DataFileImage>> records;
    return records;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (descriptor >= 0)
            close(descriptor);
    }
    int Get() const { return descriptor; }

private:
    int descriptor;
};

// Maps the file and reads its resources; on failure answers the error.
DWORD MapDataFile(const std::string& path, DataFileImage& image)
{
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return FileOpenError(path, errno);
    struct stat status {};
    if (fstat(file.Get(), &status) != 0)
        return ERROR_FILE_NOT_FOUND;
    if (S_ISDIR(status.st_mode))
        return ERROR_ACCESS_DENIED;
    if (!S_ISREG(status.st_mode) || status.st_size <= 0)
        return ERROR_BAD_EXE_FORMAT;
    size_t size = static_cast<size_t>(status.st_size);
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Get(), 0);
    if (mapping == MAP_FAILED)
        return ERROR_NOT_ENOUGH_MEMORY;
    image.mapping = mapping;
    image.mappedSize = size;
    resources::ByteRange section;
    auto search = resources::FindElfSection(static_cast<const uint8_t*>(mapping), size, ".rsrc", section);
    if (search != resources::SectionSearch::found)
        return ERROR_BAD_EXE_FORMAT;
    if (!resources::ReadResourceFile(section.data, section.size, image.entries))
        return ERROR_BAD_EXE_FORMAT;
    return ERROR_SUCCESS;
}

bool IsDataFileLoad(DWORD flags)
{
    return flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

}  // namespace

DWORD FileOpenError(const std::string& path, int error)
{
    switch (error) {
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOENT: {
        // A missing file in a directory that exists, or a missing directory.
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0)
            return ERROR_FILE_NOT_FOUND;
        struct stat status {};
        return stat(path.substr(0, slash).c_str(), &status) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    default:
        return ERROR_FILE_NOT_FOUND;
    }
}

DataFileImage::~DataFileImage()
{
    if (mapping)
        munmap(mapping, mappedSize);
}

std::shared_ptr<const DataFileImage> FindDataFile(HMODULE module)
{
    if (!IsDataFileHandle(module))
        return nullptr;
    std::lock_guard<std::mutex> guard(recordsLock);
    auto found = Records().find(reinterpret_cast<ULONG_PTR>(module));
    return found == Records().end() ? nullptr : found->second;
}

std::shared_ptr<const DataFileImage> FindLoadedModuleImage(HMODULE module)
{
    WCHAR widePath[4096];
    DWORD length = GetModuleFileNameW(module, widePath, sizeof widePath / sizeof widePath[0]);
    std::string path;
    if (length == 0 || length >= sizeof widePath / sizeof widePath[0] || !modules::PathToUtf8(widePath, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    static std::map<std::string, std::shared_ptr<const DataFileImage>> images;
    std::lock_guard<std::mutex> guard(recordsLock);
    auto found = images.find(path);
    if (found != images.end())
        return found->second;
    auto image = std::make_shared<DataFileImage>();
    if (MapDataFile(path, *image) != ERROR_SUCCESS) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    images[path] = image;
    return image;
}

BOOL ReleaseDataFile(HMODULE module)
{
    std::shared_ptr<const DataFileImage> released;
    {
        std::lock_guard<std::mutex> guard(recordsLock);
        auto found = Records().find(reinterpret_cast<ULONG_PTR>(module));
        if (found == Records().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        released = std::move(found->second);
        Records().erase(found);
    }
    // The mapping goes with the last holder, outside the lock.
    return TRUE;
}

}  // namespace platform::datafile

using namespace platform::datafile;

extern "C" HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags)
{
    if (!fileName || file) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsDataFileLoad(flags))
        return LoadLibraryW(fileName);
    std::string path;
    if (!platform::modules::PathToUtf8(fileName, path) || path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto image = std::make_shared<DataFileImage>();
    DWORD error = MapDataFile(path, *image);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    // A page-aligned mapping leaves the low bit free for the data-file mark.
    ULONG_PTR handle = reinterpret_cast<ULONG_PTR>(image->mapping) | 1;
    std::lock_guard<std::mutex> guard(recordsLock);
    Records()[handle] = std::move(image);
    return reinterpret_cast<HMODULE>(handle);
}
