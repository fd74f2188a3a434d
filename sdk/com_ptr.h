// An owning interface pointer: releases its interface when it goes, or when
// Reset is called, whichever comes first.
#pragma once

#include "winapi.h"

namespace trellan {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(Interface* adopted) : pointer(adopted) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            pointer = other.Detach();
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset()
    {
        if (Interface* old = pointer) {
            pointer = nullptr;
            old->Release();
        }
    }
    Interface* Detach()
    {
        Interface* old = pointer;
        pointer = nullptr;
        return old;
    }
    Interface* Get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    // For out-parameters: the slot that a call fills. Must be empty.
    Interface** Receive() { return &pointer; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(&pointer); }

private:
    Interface* pointer = nullptr;
};

}  // namespace trellan
