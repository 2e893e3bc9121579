#pragma once
// The reduced inverse DCTs of the decodes shrunk by eight (1x1), four (2x2) and two (4x4),
// computed as libjpeg-turbo's reduced-size ones compute them, so that our picture equals its own.
// The 2x2 transform reads only the coefficients in rows and columns 0, 1, 3, 5 and 7 of a block:
// 25 of the 64, which are all our readers keep shrunk by four. The 4x4 one reads every row and
// column but 4: 49 of them.

#include <array>
#include <cstdint>

namespace quillane {

constexpr int kIdct2x2Kept = 25;
constexpr int kIdct2x2AcKept = kIdct2x2Kept - 1;  // kept apart from the DC value

// Where the 2x2 transform keeps each coefficient, by its position in the zig-zag order of the
// data: 0..24 (row rank * 5 + column rank, the DC value first), or -1 when it never reads it.
const std::array<std::int8_t, 64>& Idct2x2Slots();
// The same for the AC coefficients alone, 0..23 (one less); -1 for the DC value too.
const std::array<std::int8_t, 64>& Idct2x2AcSlots();

constexpr int kIdct4x4Kept = 49;
constexpr int kWholeKept = 64;  // at full size

// Where the 4x4 transform keeps each coefficient, by its position in the zig-zag order: 0..48
// (row rank * 7 + column rank, the DC value first), or -1 when it never reads it.
const std::array<std::int8_t, 64>& Idct4x4Slots();

// What the reduced transform of a scale (8, 4 or 2; 1 for the full-size one) keeps of a block: how
// many coefficients, the DC value first, where each coefficient of the zig-zag order is kept (-1:
// never read), and the same for the AC coefficients kept apart from the DC value (one less; -1 for
// the DC value).
struct JpegReducedTransform {
    int Kept = 1;
    const std::array<std::int8_t, 64>* Slots = nullptr;
    const std::array<std::int8_t, 64>* AcSlots = nullptr;
};
const JpegReducedTransform& ReducedTransformFor(int scale);

// libjpeg's limit of a transformed value to a sample: level-shifted by 128 and limited to
// 0..255, reading only the low ten bits, so that wildly out-of-range values of a damaged file
// wrap as they do there instead of overflowing.
inline constexpr std::array<std::uint8_t, 1024> kLimitTable = [] {
    std::array<std::uint8_t, 1024> t{};
    for (int low = 0; low < 1024; ++low) {
        t[low] = static_cast<std::uint8_t>(low < 128   ? low + 128
                                           : low < 512 ? 255
                                           : low < 896 ? 0
                                                       : low - 896);
    }
    return t;
}();
inline std::uint8_t LimitSample(std::int32_t value) {
    return kLimitTable[static_cast<std::size_t>(value & 1023)];
}

// The one sample of a block: its dequantized DC value over eight, rounded, then limited.
inline std::uint8_t Idct1x1(std::int16_t dc, std::uint16_t quantizer) {
    return LimitSample((std::int32_t{dc} * quantizer + 4) >> 3);
}

// The four samples of one block, top row first, from its coefficients and their quantizers,
// both in slot order (25 of each, the DC value first).
// `end`: past the last coefficient in the zig-zag order that may be nonzero (1..64), so that a
// block with only its first few skips the sums of the others.
void Idct2x2(const std::int16_t* coefficients, const std::uint16_t* quantizers, std::uint8_t out[4],
             int end = 64);

// The sixteen samples of one block, row by row, from its coefficients and their quantizers,
// both in slot order (49 of each).
void Idct4x4(const std::int16_t* coefficients, const std::uint16_t* quantizers,
             std::uint8_t out[16], int end = 64);

}  // namespace quillane
