#pragma once
// One Huffman table as a DHT segment defines it: how many codes of each length 1..16 and the
// symbols in code order. The codes are canonical, so each length's codes follow on from the
// shorter ones and a code is decoded one bit at a time against each length's largest code.

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
    int Decode(JpegBitReader& bits) const;

  private:
    // For each length, the largest code of that length (-1: none) and what turns a code of that
    // length into an index into m_symbols.
    std::array<std::int32_t, kMaxCodeLength + 1> m_maxCode{};
    std::array<std::int32_t, kMaxCodeLength + 1> m_indexOffset{};
    std::array<std::uint8_t, 256> m_symbols{};
};

}  // namespace quillane
