#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

#include "platform/base/LargeBuffer.h"

namespace quillane {
namespace {

// The process's mapped memory in bytes.
std::int64_t MappedBytes() {
    std::int64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * 4096;
}

// Sizes about a huge page, where the buffer changes from the allocator's to a mapping of its own
// that ends in small pages or in a last huge page: each comes zeroed, holds every byte it was
// asked for (a mapping cut short faults on the write) and a mapping is given back whole, so that
// the same sizes can be had again and again. (The allocator may hold what it gave back: a
// sanitizer's keeps it aside for a while.)
TEST(LargeBuffer, EverySizeComesZeroedAndWholeAndGoesBack) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const std::vector<std::size_t> fromTheAllocator = {1, kHuge - 1};
    const std::vector<std::size_t> mappedAlone = {kHuge, kHuge + 1, 3 * kHuge + 4095,
                                                  7 * kHuge + kHuge / 4};
    for (const std::vector<std::size_t>* sizes : {&fromTheAllocator, &mappedAlone}) {
        const std::int64_t before = MappedBytes();
        for (int round = 0; round < 64; ++round) {
            for (const std::size_t bytes : *sizes) {
                auto* memory = static_cast<std::uint8_t*>(AllocateLarge(bytes));
                ASSERT_NE(memory, nullptr) << bytes;
                ASSERT_TRUE(std::all_of(memory, memory + bytes, [](std::uint8_t b) {
                    return b == 0;
                })) << bytes;
                std::fill(memory, memory + bytes, std::uint8_t{0xA5});
                FreeLarge(memory, bytes);
            }
        }
        // A round maps about 30 MiB; kept, the 64 rounds would hold about two gigabytes.
        if (sizes == &mappedAlone) {
            EXPECT_LT(MappedBytes() - before, std::int64_t{16} << 20);
        }
    }
    LargeVector<std::uint64_t> blocks(kHuge, 7);
    blocks.resize(3 * kHuge);
    EXPECT_EQ(blocks.front() + blocks[kHuge - 1] + blocks.back(), 14u);
}

}  // namespace
}  // namespace quillane
