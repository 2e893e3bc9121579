// Canonical Huffman codes: the first code of each length is one more than the last code of the
// length before, shifted left by one.

#include "platform/picture/JpegHuffman.h"

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
    // Every eight bits that begin with a code of up to eight bits lead to that code.
    for (int length = 1; length <= kLookupBits; ++length) {
        const int spare = kLookupBits - length;
        for (std::int32_t c = table.m_maxCode[length] - counts[length - 1] + 1;
             c <= table.m_maxCode[length]; ++c) {
            const auto found = static_cast<std::uint16_t>(
                length << 8 | table.m_symbols[c + table.m_indexOffset[length]]);
            std::fill_n(table.m_lookup.begin() + (c << spare), std::int32_t{1} << spare, found);
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

}  // namespace quillane
