#pragma once
// The table segments of a JPEG that our readers, progressive and sequential, both take in: DHT
// (Huffman tables) and DQT (quantization tables), each into one of four slots, a later table
// replacing the one before in its slot.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/picture/jpeg/progressive/JpegHuffman.h"

namespace quillane {

inline constexpr int kJpegTableSlots = 4;

using JpegQuantizationTable = std::array<std::uint16_t, 64>;  // in zig-zag order

struct JpegTableSlots {
    std::array<std::optional<JpegHuffmanTable>, kJpegTableSlots> Dc;
    std::array<std::optional<JpegHuffmanTable>, kJpegTableSlots> Ac;
    std::array<std::optional<JpegQuantizationTable>, kJpegTableSlots> Quantization;
};

// A DHT segment's fields: one or more tables, each checked (class, slot, counts, symbols).
// Empty when they are good; else why not.
std::optional<std::string> ReadHuffmanTables(std::span<const std::uint8_t> fields,
                                             JpegTableSlots& slots);
// A DQT segment's fields: one or more tables of 8 or 16 bits a value.
std::optional<std::string> ReadQuantizationTables(std::span<const std::uint8_t> fields,
                                                  JpegTableSlots& slots);

}  // namespace quillane
