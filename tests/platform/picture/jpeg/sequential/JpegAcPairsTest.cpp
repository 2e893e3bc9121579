// The two-symbol lookup against the table decoded one symbol at a time, for every bit pattern
// of the lookup: tables whose codes are as short as can be (every symbol a lookup can pair) and
// the usual one.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/picture/jpeg/sequential/JpegAcPairs.h"

namespace quillane::test {
namespace {

struct Decoded {
    int Length = 0, FirstAt = JpegAcPairs::kNowhere, SecondAt = JpegAcPairs::kNowhere;
    int Advance = 0, Reach = 0, First = 0, Second = 0;
};

// Up to two symbols from the top of `bits`, each taken only when its code and value fit in what
// is left of the lookup, as the reader would decode them one at a time.
Decoded Slowly(const JpegHuffmanTable& table, std::uint32_t bits) {
    Decoded d;
    int used = 0, advance = 0;
    for (int i = 0; i < 2; ++i) {
        int length = 0;
        const std::uint32_t rest = bits << used & ((1u << JpegAcPairs::kBits) - 1);
        const int symbol = table.DecodeSixteen(rest << (16 - JpegAcPairs::kBits), length);
        const int run = symbol >> 4, size = symbol & 15;
        if (symbol < 0 || used + length + size > JpegAcPairs::kBits) break;
        const int extra =
            static_cast<int>(rest >> (JpegAcPairs::kBits - length - size)) & ((1 << size) - 1);
        const int value = size && extra < 1 << (size - 1) ? extra - (1 << size) + 1 : extra;
        used += length + size;
        d.Length = used;
        if (size == 0 && run != 15) {  // the block's end
            d.Reach = advance + 1;
            d.Advance = advance + JpegAcPairs::kEnded;
            return d;
        }
        (i == 0 ? d.FirstAt : d.SecondAt) = size ? advance + run : advance + 15;
        (i == 0 ? d.First : d.Second) = value;
        advance += size ? run + 1 : 16;
        d.Advance = d.Reach = advance;
    }
    return d;
}

TEST(JpegAcPairs, AgreeWithTheTableSymbolBySymbol) {
    // Counts by length and symbols: runs of sixteen and ends in two bits, then values of one
    // to two bits after runs of 0..2; and the usual table for luma.
    std::vector<std::uint8_t> shortest = {0xF0, 0x00, 0x01, 0x11, 0x21, 0x02, 0x12};
    std::array<std::uint8_t, 16> shortCounts{0, 2, 2, 3};
    std::array<std::uint8_t, 16> usualCounts{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
    std::vector<std::uint8_t> usual = {
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
        0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
        0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25,
        0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
        0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
        0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
        0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
        0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
        0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3,
        0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,
        0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};
    for (const auto& [counts, symbols] :
         {std::pair{shortCounts, shortest}, std::pair{usualCounts, usual}}) {
        const auto table = JpegHuffmanTable::Build(counts, symbols);
        ASSERT_TRUE(table);
        const JpegAcPairs pairs(*table);
        for (std::uint32_t bits = 0; bits < 1u << JpegAcPairs::kBits; ++bits) {
            const JpegAcPairs::Entry& e = pairs.Lookup(bits);
            const Decoded want = Slowly(*table, bits);
            SCOPED_TRACE(::testing::Message() << "bits " << bits);
            ASSERT_EQ(e.Length, want.Length);
            if (want.Length == 0) {
                EXPECT_GT(e.Reach, 64);  // decoded one symbol at a time
                continue;
            }
            EXPECT_EQ(e.FirstAt, want.FirstAt);
            EXPECT_EQ(e.SecondAt, want.SecondAt);
            EXPECT_EQ(e.Advance, want.Advance);
            EXPECT_EQ(e.Reach, want.Reach);
            EXPECT_EQ(e.First, want.First);
            EXPECT_EQ(e.Second, want.Second);
        }
    }
}

}  // namespace
}  // namespace quillane::test
