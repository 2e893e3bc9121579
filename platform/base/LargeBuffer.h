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
#include <memory>
#include <new>
#include <type_traits>
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

// A fixed number of zeroed elements that are never written to make them zero, so that a page of
// them the work never writes is never mapped in: a progressive file whose data stops early, or
// blocks whose coefficients stay zero, then cost no memory for them, and no time to clear them.
template <class T>
class ZeroedArray {
    static_assert(std::is_trivial_v<T>, "zero bytes must be a value of the type");

  public:
    // Replaces the elements with count zeroed ones; false, and empty, when memory runs out.
    [[nodiscard]] bool Allocate(std::size_t count) {
        Release();
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return false;
        const std::size_t bytes = count * sizeof(T);
        m_data = {static_cast<T*>(AllocateLarge(bytes)), LargeBufferDeleter{bytes}};
        m_count = m_data ? count : 0;
        return m_data != nullptr;
    }
    void Release() {
        m_data.reset();
        m_count = 0;
    }

    std::size_t size() const { return m_count; }
    T* data() { return m_data.get(); }
    const T* data() const { return m_data.get(); }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

  private:
    std::unique_ptr<T[], LargeBufferDeleter> m_data;
    std::size_t m_count = 0;
};

}  // namespace quillane
