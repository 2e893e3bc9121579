#pragma once
// One Huffman table as a DHT segment defines it: how many codes of each length 1..16 and the
// symbols in code order. The codes are canonical, so each length's codes follow on from the
// shorter ones and a code is decoded one bit at a time against each length's largest code.
// Codes of up to ten bits, nearly all of those in a picture, are looked up at once instead;
// for an AC symbol the same lookup also gives the value its extra bits carry, when the code
// and those bits fit in the ten together, so that a common coefficient costs one table read.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture/jpeg/progressive/JpegBitReader.h"

namespace quillane {

class JpegHuffmanTable {
  public:
    static constexpr int kMaxCodeLength = 16;
    static constexpr int kLookupBits = 10;

    // Empty when the counts and symbols cannot form a table: more than 256 symbols, too few
    // symbols given, or more codes of some length than that length can hold.
    [[nodiscard]] static std::optional<JpegHuffmanTable> Build(
        std::span<const std::uint8_t, kMaxCodeLength> counts,
        std::span<const std::uint8_t> symbols);

    // The next symbol; -1 when the bits form no code of the table or the data ends first.
    int Decode(JpegBitReader& bits) const {
        std::uint32_t next = 0;
        if (bits.Peek(kLookupBits, next)) {
            const std::uint32_t found = m_lookup[next];
            if (const int length = CodeLength(found)) {
                bits.Skip(length);
                return static_cast<int>(found & 255);
            }
        }
        return DecodeBitByBit(bits);
    }

    // What the next kLookupBits bits begin with, for the callers that peek them themselves:
    // decode it with the functions below.
    std::uint32_t Lookup(std::uint32_t next) const { return m_lookup[next]; }
    static int Symbol(std::uint32_t found) { return static_cast<int>(found & 255); }
    // The code's length; 0 when the code is longer than kLookupBits or none.
    static int CodeLength(std::uint32_t found) { return static_cast<int>(found >> 8 & 15); }
    // The code's length with the extra bits its symbol's low four bits ask for (an AC symbol's
    // size); 0 when the two are longer than kLookupBits together.
    static int CodeAndValueLength(std::uint32_t found) {
        return static_cast<int>(found >> 12 & 15);
    }
    // Those extra bits as a signed value (a leading zero bit: negative); 0 for size 0.
    static std::int32_t Value(std::uint32_t found) {
        return static_cast<std::int16_t>(found >> 16);
    }

    // The symbol whose code starts the 16 bits `next` (the first one most significant), and
    // the code's length; -1 when they start no code of the table. For readers with bit buffers
    // of their own, past the lookup.
    int DecodeSixteen(std::uint32_t next, int& length) const;

  private:
    // A code longer than the lookup, or one near the end of the data.
    int DecodeBitByBit(JpegBitReader& bits) const;

    // For each length, the largest code of that length (-1: none) and what turns a code of that
    // length into an index into m_symbols.
    std::array<std::int32_t, kMaxCodeLength + 1> m_maxCode{};
    std::array<std::int32_t, kMaxCodeLength + 1> m_indexOffset{};
    std::array<std::uint8_t, 256> m_symbols{};
    // By the next kLookupBits bits: the symbol of the code they start with in bits 0..7, the
    // code's length in bits 8..11, that length with the extra bits' in 12..15 and the value of
    // those bits in 16..31 (see the functions above).
    static_assert(kLookupBits < 16);
    std::array<std::uint32_t, 1 << kLookupBits> m_lookup{};
};

}  // namespace quillane
