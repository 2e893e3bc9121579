#pragma once
// Memory for buffers of a picture's size: decoded pixels, the bitmaps they are painted on and
// copied into, a progressive file's coefficients. Such a buffer is new memory for every picture
// of a run, and each of its pages faults in as it is first written; on a virtual machine a fault
// costs several microseconds, which made up a quarter of a run's time. A buffer of a huge page or
// more is therefore mapped on its own, aligned to one and offered to the kernel for huge pages,
// so that it faults in two megabytes at a time. Where the system gives no huge pages it is
// ordinary memory. Either way it comes zeroed and is paged in only as it is touched.

#include <cstddef>
#include <limits>
#include <new>
#include <vector>

namespace quillane {

// Zeroed memory, nullptr when it cannot be had; released with FreeLarge of the same size.
void* AllocateLarge(std::size_t bytes) noexcept;
void FreeLarge(void* memory, std::size_t bytes) noexcept;

struct LargeBufferDeleter {
    std::size_t Bytes = 0;
    void operator()(void* memory) const noexcept { FreeLarge(memory, Bytes); }
};

// For std::vector, with the container's usual std::bad_alloc when memory runs out.
template <class T>
struct LargeBufferAllocator {
    using value_type = T;

    LargeBufferAllocator() = default;
    template <class U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}  // NOLINT: rebinding

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        void* memory = AllocateLarge(count * sizeof(T));
        if (!memory) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) noexcept { FreeLarge(memory, count * sizeof(T)); }

    template <class U>
    bool operator==(const LargeBufferAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace quillane
