// Memory from the process heap: an allocator for growable strings (it throws
// std::bad_alloc when the heap is exhausted) and an owning block.
#pragma once

#include "winapi.h"

#include <cstddef>
#include <new>
#include <string>

namespace trellan {

template <typename T>
struct HeapAllocator {
    using value_type = T;

    HeapAllocator() noexcept = default;
    template <typename U>
    HeapAllocator(const HeapAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        void* block = HeapAlloc(GetProcessHeap(), 0, count * sizeof(T));
        if (!block)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept { HeapFree(GetProcessHeap(), 0, block); }

    template <typename U>
    bool operator==(const HeapAllocator<U>&) const noexcept
    {
        return true;
    }
};

// A growable UTF-16 string whose growth comes from the process heap.
using HeapString = std::basic_string<WCHAR, std::char_traits<WCHAR>, HeapAllocator<WCHAR>>;

// A block from the process heap, freed when it goes or on Free().
class HeapBlock {
public:
    HeapBlock() = default;
    explicit HeapBlock(std::size_t bytes, DWORD flags = 0) : block(HeapAlloc(GetProcessHeap(), flags, bytes)) {}
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { Free(); }

    // Frees what the block held and takes a new allocation; false when the
    // heap has none.
    bool Allocate(std::size_t bytes, DWORD flags = 0)
    {
        Free();
        block = HeapAlloc(GetProcessHeap(), flags, bytes);
        return block != nullptr;
    }

    void Free()
    {
        if (block) {
            HeapFree(GetProcessHeap(), 0, block);
            block = nullptr;
        }
    }
    template <typename T>
    T* As() const
    {
        return static_cast<T*>(block);
    }
    explicit operator bool() const { return block != nullptr; }

private:
    void* block = nullptr;
};

}  // namespace trellan
