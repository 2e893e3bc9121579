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

// The length mapped for a buffer: whole huge pages when the last one would be mostly used (an
// eighth of the buffer at most left over), so that the end faults in at once too; otherwise
// whole small pages, and the end of the buffer is in small pages.
std::size_t MappedLength(std::size_t bytes) {
    const std::size_t huge = RoundUp(bytes, kHugePageBytes);
    return huge - bytes <= bytes / 8 ? huge : RoundUp(bytes, kPageBytes);
}

}  // namespace

void* AllocateLarge(std::size_t bytes) noexcept {
    if (bytes < kHugePageBytes) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kHugePageBytes) return nullptr;
    const std::size_t length = MappedLength(bytes);
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
    // it. A huge page is used only where two aligned megabytes lie inside the mapping.
    (void)madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void FreeLarge(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    if (bytes < kHugePageBytes) {
        std::free(memory);
        return;
    }
    munmap(memory, MappedLength(bytes));
}

}  // namespace quillane
