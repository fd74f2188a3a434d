// The kernel object behind a handle from CreateFileW (or a standard
// handle): a POSIX file descriptor, and, once the handle's folder is being
// listed, what the listing has read and not yet handed out.
#pragma once

#include "kernel_objects.h"

#include <cstddef>
#include <memory>

namespace platform::kernel {

// Raw entries read from a folder (getdents64), handed out in order.
struct FolderListing {
    static constexpr size_t kReadSize = 32768;
    alignas(8) char entries[kReadSize];
    size_t filled = 0;   // bytes read into `entries`
    size_t next = 0;     // the first entry not yet handed out
    bool ended = false;  // the folder said it has no more: not asked again until a restart
};

struct FileObject : KernelObject {
    static constexpr Kind kindOf = Kind::file;
    FileObject(int descriptor, bool standard, bool folder = false)
        : KernelObject(Kind::file), descriptor(descriptor), standard(standard), folder(folder)
    {
    }
    ~FileObject() override;
    const int descriptor;
    const bool standard;                     // one of the process's standard handles: never closed
    const bool folder;                       // opened as a folder, which only a listing reads
    std::unique_ptr<FolderListing> listing;  // made at the first listing of a folder
};

}  // namespace platform::kernel
