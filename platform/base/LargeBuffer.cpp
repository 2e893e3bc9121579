#include "platform/base/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace quillane {
namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;  // x86-64's and arm64's usual size
constexpr std::size_t kPageBytes = 4096;

constexpr std::uintptr_t RoundUp(std::uintptr_t value, std::size_t to) {
    return (value + to - 1) / to * to;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) noexcept {
    if (bytes < kHugePageBytes) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kHugePageBytes) return nullptr;
    const std::size_t length = RoundUp(bytes, kPageBytes);
    // Mapped a huge page longer than needed, then trimmed to an aligned start.
    void* mapped = mmap(nullptr, length + kHugePageBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = RoundUp(first, kHugePageBytes);
    const std::uintptr_t end = start + length;
    if (start > first) munmap(mapped, start - first);
    if (first + length + kHugePageBytes > end) {
        munmap(reinterpret_cast<void*>(end), first + length + kHugePageBytes - end);
    }
    // Only advice: a kernel without transparent huge pages, or with them switched off, refuses
    // it. A huge page is used only where two aligned megabytes lie inside the buffer, so its
    // last part is in small pages and the memory it uses stays what it is without them.
    (void)madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void FreeLarge(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    if (bytes < kHugePageBytes) {
        std::free(memory);
        return;
    }
    munmap(memory, RoundUp(bytes, kPageBytes));
}

}  // namespace quillane
