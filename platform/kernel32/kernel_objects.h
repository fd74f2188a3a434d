// Kernel handles of the stand-in: every HANDLE that CreateFileW,
// FindFirstFileW or CreateThread hands out points to a KernelObject, which
// CloseHandle (or FindClose) deletes.
#pragma once

#include <win32/files.h>

namespace platform::kernel {

class KernelObject {
public:
    enum class Kind { file, search, thread };

    explicit KernelObject(Kind kind) : kind(kind) {}
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    const Kind kind;
};

// The object behind `handle` if it is of `kind`; null with
// ERROR_INVALID_HANDLE set otherwise.
template <typename Object>
Object* ObjectOf(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* object = static_cast<KernelObject*>(handle);
    return object->kind == Object::kindOf ? static_cast<Object*>(object) : nullptr;
}

}  // namespace platform::kernel
