// Canonical Huffman codes: the first code of each length is one more than the last code of the
// length before, shifted left by one.

#include "platform/picture/jpeg/progressive/JpegHuffman.h"

#include <algorithm>

namespace quillane {

std::optional<JpegHuffmanTable> JpegHuffmanTable::Build(
    std::span<const std::uint8_t, kMaxCodeLength> counts, std::span<const std::uint8_t> symbols) {
    JpegHuffmanTable table;
    std::int32_t code = 0;
    std::int32_t index = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        const int count = counts[length - 1];
        if (index + count > 256) return std::nullopt;
        table.m_indexOffset[length] = index - code;
        code += count;
        index += count;
        // Every code of this length must fit in `length` bits, and none may be all ones.
        if (count > 0 && code >= (std::int32_t{1} << length)) return std::nullopt;
        table.m_maxCode[length] = count == 0 ? -1 : code - 1;
        code <<= 1;
    }
    if (symbols.size() < static_cast<std::size_t>(index)) return std::nullopt;
    std::copy_n(symbols.begin(), index, table.m_symbols.begin());
    // Every kLookupBits bits that begin with a code of up to kLookupBits bits lead to that code.
    for (int length = 1; length <= kLookupBits; ++length) {
        const int spare = kLookupBits - length;
        for (std::int32_t c = table.m_maxCode[length] - counts[length - 1] + 1;
             c <= table.m_maxCode[length]; ++c) {
            const std::uint32_t symbol = table.m_symbols[c + table.m_indexOffset[length]];
            const int size = static_cast<int>(symbol & 15);
            for (std::int32_t rest = 0; rest < std::int32_t{1} << spare; ++rest) {
                std::uint32_t found = symbol | static_cast<std::uint32_t>(length) << 8;
                if (size <= spare) {
                    // The extra bits are the first `size` of the `spare` that follow the code.
                    const std::int32_t bits = rest >> (spare - size);
                    std::int32_t value = bits;
                    if (size > 0 && bits < std::int32_t{1} << (size - 1)) {
                        value -= (std::int32_t{1} << size) - 1;
                    }
                    found |= static_cast<std::uint32_t>(length + size) << 12 |
                             static_cast<std::uint32_t>(static_cast<std::uint16_t>(value)) << 16;
                }
                table.m_lookup[static_cast<std::size_t>(c << spare | rest)] = found;
            }
        }
    }
    return table;
}

int JpegHuffmanTable::DecodeBitByBit(JpegBitReader& bits) const {
    std::int32_t code = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
        std::uint32_t bit = 0;
        if (!bits.Bits(1, bit)) return -1;
        code = (code << 1) | static_cast<std::int32_t>(bit);
        if (code <= m_maxCode[length]) return m_symbols[code + m_indexOffset[length]];
    }
    return -1;
}

int JpegHuffmanTable::DecodeSixteen(std::uint32_t next, int& length) const {
    for (length = 1; length <= kMaxCodeLength; ++length) {
        const auto code = static_cast<std::int32_t>(next >> (kMaxCodeLength - length));
        if (code <= m_maxCode[length]) return m_symbols[code + m_indexOffset[length]];
    }
    return -1;
}

}  // namespace quillane
