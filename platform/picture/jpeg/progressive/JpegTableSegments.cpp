#include "platform/picture/jpeg/progressive/JpegTableSegments.h"

namespace quillane {

std::optional<std::string> ReadHuffmanTables(std::span<const std::uint8_t> s,
                                             JpegTableSlots& slots) {
    while (!s.empty()) {
        if (s.size() < 17) return "a Huffman table of bad length";
        const int kind = s[0] >> 4, slot = s[0] & 15;
        if (kind > 1 || slot >= kJpegTableSlots) return "a bad Huffman table index";
        const auto counts = s.subspan<1, JpegHuffmanTable::kMaxCodeLength>();
        std::size_t symbols = 0;
        for (const std::uint8_t n : counts) symbols += n;
        if (symbols > 256 || s.size() < 17 + symbols) return "a bad Huffman table";
        auto& table = (kind == 0 ? slots.Dc : slots.Ac)[slot];
        table = JpegHuffmanTable::Build(counts, s.subspan(17, symbols));
        if (!table) return "a bad Huffman table";
        s = s.subspan(17 + symbols);
    }
    return std::nullopt;
}

std::optional<std::string> ReadQuantizationTables(std::span<const std::uint8_t> s,
                                                  JpegTableSlots& slots) {
    while (!s.empty()) {
        const int precision = s[0] >> 4, slot = s[0] & 15;
        if (precision > 1 || slot >= kJpegTableSlots) return "a bad quantization table index";
        const std::size_t size = 1 + 64 * (precision + 1);
        if (s.size() < size) return "a quantization table of bad length";
        JpegQuantizationTable& table = slots.Quantization[slot].emplace();
        for (int k = 0; k < 64; ++k) {
            table[k] = precision == 0
                           ? s[1 + k]
                           : static_cast<std::uint16_t>(s[1 + 2 * k] << 8 | s[2 + 2 * k]);
        }
        s = s.subspan(size);
    }
    return std::nullopt;
}

}  // namespace quillane
