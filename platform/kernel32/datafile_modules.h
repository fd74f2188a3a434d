// Modules loaded as data files: the mapped file and its resource entries.
#pragma once

#include "resource_directory.h"

#include <memory>
#include <string>

namespace platform::datafile {

// One data-file load: the file mapped read-only and its resources.
struct DataFileImage {
    DataFileImage() = default;
    DataFileImage(const DataFileImage&) = delete;
    DataFileImage& operator=(const DataFileImage&) = delete;
    ~DataFileImage();

    void* mapping = nullptr;
    size_t mappedSize = 0;
    std::vector<resources::ResourceEntry> entries;
};

// Data-file handles have the low bit set.
inline bool IsDataFileHandle(HMODULE module)
{
    return (reinterpret_cast<ULONG_PTR>(module) & 1) != 0;
}

// The image behind a data-file handle, or null. The image stays mapped while
// the caller holds it, even if the handle is freed meanwhile.
std::shared_ptr<const DataFileImage> FindDataFile(HMODULE module);

// The platform's error for a file that cannot be opened: errno `error` of
// an open or stat of `path`.
DWORD FileOpenError(const std::string& path, int error);

// The resources of a module loaded as code (null: the process image), read
// from its file on disk. Each file is mapped once and kept for the life of
// the process, so that resource data stays valid as on the platform. Null
// with the last error set for an unknown handle or a file without resources.
std::shared_ptr<const DataFileImage> FindLoadedModuleImage(HMODULE module);

// FreeLibrary of a data-file handle: FALSE with ERROR_INVALID_HANDLE for a
// handle that names no data-file load.
BOOL ReleaseDataFile(HMODULE module);

}  // namespace platform::datafile
