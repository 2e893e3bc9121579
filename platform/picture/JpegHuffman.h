#pragma once
// One Huffman table as a DHT segment defines it: how many codes of each length 1..16 and the
// symbols in code order. The codes are canonical, so each length's codes follow on from the
// shorter ones and a code is decoded one bit at a time against each length's largest code.
// Codes of up to eight bits, nearly all of those in a picture, are looked up at once instead.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture/JpegBitReader.h"

namespace quillane {

class JpegHuffmanTable {
  public:
    static constexpr int kMaxCodeLength = 16;

    // Empty when the counts and symbols cannot form a table: more than 256 symbols, too few
    // symbols given, or more codes of some length than that length can hold.
    [[nodiscard]] static std::optional<JpegHuffmanTable> Build(
        std::span<const std::uint8_t, kMaxCodeLength> counts,
        std::span<const std::uint8_t> symbols);

    // The next symbol; -1 when the bits form no code of the table or the data ends first.
    int Decode(JpegBitReader& bits) const {
        std::uint32_t next = 0;
        if (bits.Peek(kLookupBits, next)) {
            const std::uint16_t found = m_lookup[next];
            if (found >> 8) {
                bits.Skip(found >> 8);
                return found & 255;
            }
        }
        return DecodeBitByBit(bits);
    }

  private:
    // A code longer than the lookup, or one near the end of the data.
    int DecodeBitByBit(JpegBitReader& bits) const;

    // For each length, the largest code of that length (-1: none) and what turns a code of that
    // length into an index into m_symbols.
    std::array<std::int32_t, kMaxCodeLength + 1> m_maxCode{};
    std::array<std::int32_t, kMaxCodeLength + 1> m_indexOffset{};
    std::array<std::uint8_t, 256> m_symbols{};
    // By the next eight bits: the length of the code they start with (0: longer than eight)
    // in the high byte, its symbol in the low one.
    static constexpr int kLookupBits = 8;
    std::array<std::uint16_t, 1 << kLookupBits> m_lookup{};
};

}  // namespace quillane
